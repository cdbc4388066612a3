#include "marker_file.h"

#include "administrator_warnings.h"
#include "period_table.h"
#include "platform/text.h"

namespace vrnskdm::supervision {

std::string marker_path(const std::string& base_dir) { return base_dir + "/delete.me"; }

bool write_marker(const supervisor_state& state, platform::files& fs, std::string_view wording) {
  const platform::file_handle handle = fs.free_handle();
  bool written = fs.open_text(handle, marker_path(state.base_dir), platform::open_mode::output);
  const auto hours = period_of(state);
  written = hours && written &&
            fs.write_line(handle, "Delete this file to don't make reboot the system in " +
                                      platform::number_text(*hours) + std::string{wording});
  written = fs.write_line(handle, platform::timestamp_text(state.cycle_start)) && written;
  return fs.close_file(handle) && written;
}

void mark_new_period(supervisor& s, std::string_view wording) {
  const bool written = write_marker(s.state, s.platform.fs, wording);
  s.restart.written_since_flush = true;
  if (s.problems.marker_unwritable.begins(!written)) {
    warn_administrator(s.platform, "the marker " + marker_path(s.state.base_dir) +
                                       " cannot be written: every service period renews instead "
                                       "of ending in a restart for as long as that lasts; let this "
                                       "user write in " + s.state.base_dir);
  }
}

}  // namespace vrnskdm::supervision
