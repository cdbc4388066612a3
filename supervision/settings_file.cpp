#include "settings_file.h"

#include <optional>

#include "period_table.h"
#include "platform/text.h"

namespace vrnskdm::supervision {

namespace {

// Reads the next line into the buffer, keeps only its value part there, and sets
// the number from it when it fits.
void read_number(platform::files& fs, platform::file_handle handle, std::string& buffer,
                 std::int16_t& setting) {
  fs.read_line(handle, buffer);
  buffer = std::string{value_part(buffer)};
  if (const auto number = platform::to_int16(platform::parse_number(buffer))) {
    setting = *number;
  }
}

}  // namespace

std::string settings_path(const std::string& base_dir) { return base_dir + "/vrnskdm.ini"; }

std::string draft_path(const std::string& settings_file) { return settings_file + ".new"; }

std::string_view value_part(std::string_view line) {
  const std::size_t equals = line.find('=');
  return equals == std::string_view::npos ? line : line.substr(equals + 1);
}

void read_settings(supervisor_state& state, platform::files& fs) {
  const platform::file_handle handle = fs.free_handle();
  fs.open_text(handle, settings_path(state.base_dir), platform::open_mode::input);
  std::string buffer;
  fs.read_line(handle, buffer);
  state.companion_dir = std::string{value_part(buffer)};
  read_number(fs, handle, buffer, state.reboot_on_lock);
  read_number(fs, handle, buffer, state.reboot_each);
  read_number(fs, handle, buffer, state.period_index);
  fs.close_file(handle);
  // Slots 8 to 10 hold no real period (0 hours would restart the machine right
  // after every start) and any other index names none at all.
  if (!is_period_row(state.period_index)) state.period_index = 0;
}

bool write_settings(const supervisor_state& state, platform::files& fs) {
  // A line break in the folder (pasted along with it, say) would split its line
  // and shift every setting after it one line down.
  if (state.companion_dir.find_first_of("\r\n") != std::string::npos) return false;
  const std::optional<std::string> settings = fs.file_behind(settings_path(state.base_dir));
  if (!settings) return false;
  const std::string draft = draft_path(*settings);
  const platform::file_handle handle = fs.free_handle();
  bool written = fs.open_text(handle, draft, platform::open_mode::output) &&
                 fs.write_line(handle, "telvnor_path=" + state.companion_dir) &&
                 fs.write_line(handle, "Reboot=" + platform::number_text(state.reboot_on_lock)) &&
                 fs.write_line(handle, "Reboot24=" + platform::number_text(state.reboot_each)) &&
                 fs.write_line(handle, "Reboot24_v=" + platform::number_text(state.period_index)) &&
                 fs.sync_file(handle);
  written = fs.close_file(handle) && written;
  written = written && fs.replace_file(draft, *settings);
  if (!written) fs.delete_file(draft);
  return written;
}

}  // namespace vrnskdm::supervision
