#include "log_event.h"

#include "platform/text.h"

namespace vrnskdm::eventlog {

std::string log_path(const std::string& base_dir) { return base_dir + "/report.log"; }

void log_event(platform::services& platform, const std::string& base_dir, platform::event kind,
               std::string_view message) {
  platform::files& fs = platform.fs;
  const std::string path = log_path(base_dir);
  const platform::file_handle handle = fs.free_handle();
  fs.open_text(handle, path, platform::open_mode::append);
  const auto length = fs.file_length(handle);
  if (length && *length > size_cap) {
    fs.close_file(handle);
    fs.open_text(handle, path, platform::open_mode::output);
    fs.write_line(handle, cleared_notice);
  }
  fs.write_line(handle, platform::timestamp_text(platform.time.now()) + " " + std::string{message});
  fs.close_file(handle);
  if (platform.system_log != nullptr) platform.system_log->record(kind, message);
}

}  // namespace vrnskdm::eventlog
