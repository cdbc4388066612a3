#include "heartbeat_watch.h"

#include <optional>

#include "eventlog/log_event.h"
#include "platform/text.h"
#include "restart_request.h"

namespace vrnskdm::supervision {

namespace {

constexpr std::string_view unable_to_reboot = "VARNISKELDAM Unable to REBOOT!";

void companion_alive(supervisor& s, const std::string& heartbeat, const std::string& stamp) {
  s.window.checking.caption = "TELVANORE alive at: " + stamp;
  s.window.warning.caption.clear();
  s.window.sfondo.visible = false;
  s.state.raised = 0;
  // A heartbeat the companion still holds open may resist; it is then seen again
  // at the next tick, which counts as alive. The debug build stops instead, so
  // that the fault shows.
  if (!s.platform.fs.delete_file(heartbeat) && s.state.debug_mode == 1) {
    s.platform.proc.end_program();
  }
  s.state.countdown = countdown_start;
  s.window.timer2.set_enabled(false);
}

void lock_restart(supervisor& s) {
  eventlog::log_event(s.platform, s.state.base_dir, "Shutdown for no TELVANORE response");
  s.platform.fs.close_all_files();
  std::optional<std::int32_t> result;
  if (s.state.debug_mode == 0) {
    result = request_restart(s);
  } else {
    eventlog::log_event(s.platform, s.state.base_dir,
                        "Reboot not performed because debug mode is active.");
  }
  if (!result || *result == 0) {
    eventlog::log_event(s.platform, s.state.base_dir, unable_to_reboot);
    s.window.checking.caption = unable_to_reboot;
  }
  s.state.countdown = countdown_start;
  s.window.timer2.set_enabled(false);
}

void companion_silent(supervisor& s, const std::string& stamp) {
  s.window.checking.caption = " TELVANORE seems to be died at: " + stamp;
  if (s.window.reboot.value() > 0) {
    s.window.timer2.set_enabled(true);
    if (s.state.countdown == 0) lock_restart(s);
  }
}

}  // namespace

std::string companion_executable_path(const std::string& companion_dir) {
  return companion_dir + "/telvnor.exe";
}

std::string heartbeat_path(const std::string& companion_dir) {
  return companion_dir + "/telvnor.vkd";
}

void watch_heartbeat(supervisor& s) {
  const std::string& dir = s.state.companion_dir;
  if (!s.platform.fs.file_exists(companion_executable_path(dir))) {
    // A countdown already running goes on: a missing companion arms and disarms
    // nothing.
    s.window.checking.caption = "TELVANORE seems to be not installed.";
    return;
  }
  const std::string stamp = platform::timestamp_text(s.platform.time.now());
  const std::string heartbeat = heartbeat_path(dir);
  if (s.platform.fs.file_exists(heartbeat)) {
    companion_alive(s, heartbeat, stamp);
  } else {
    companion_silent(s, stamp);
  }
}

}  // namespace vrnskdm::supervision
