#include "heartbeat_watch.h"

#include "administrator_warnings.h"
#include "platform/text.h"
#include "restart_request.h"
#include "warning_notification.h"

namespace vrnskdm::supervision {

namespace {

// A heartbeat that stays because it cannot be deleted counts as alive for
// ever: the watch goes on, but watches nothing. A deletion tells for sure; while
// there is nothing to delete, the folder's permissions tell in advance.
void watch_deletion(supervisor& s, const std::string& dir, bool undeletable) {
  if (s.problems.heartbeat_undeletable.begins(undeletable)) {
    warn_administrator(s.platform,
                       "the heartbeat " + heartbeat_path(dir) +
                           " cannot be deleted by this user: the companion counts as alive for as "
                           "long as that lasts, and one that stops is never noticed; let this user "
                           "write in " + dir);
  }
}

void companion_alive(supervisor& s, const std::string& heartbeat, const std::string& stamp) {
  s.window.checking.caption = "TELVANORE alive at: " + stamp;
  s.window.warning.caption.clear();
  s.window.sfondo.visible = false;
  s.window.form.keep_on_top(false);
  s.state.raised = 0;
  withdraw_warning(s);
  // A heartbeat the companion still holds open may resist; it is then seen again
  // at the next tick, which counts as alive. The debug build stops instead, so
  // that the fault shows.
  const bool deleted = s.platform.fs.delete_file(heartbeat);
  if (!deleted && s.state.debug_mode == 1) s.platform.proc.end_program();
  watch_deletion(s, s.state.companion_dir, !deleted);
  s.state.countdown = countdown_start;
  s.window.timer2.set_enabled(false);
}

// The answer comes later; a refusal is logged when it does.
void lock_restart(supervisor& s) {
  record_event(s, "Shutdown for no TELVANORE response");
  withdraw_warning(s);
  s.platform.fs.close_all_files();
  if (s.state.debug_mode == 0) {
    ask_for_restart(s, restart_asker::lock);
  } else {
    record_event(s, "Reboot not performed because debug mode is active.");
    report_unable_to_reboot(s);
  }
  s.state.countdown = countdown_start;
  s.window.timer2.set_enabled(false);
}

void companion_silent(supervisor& s, const std::string& stamp) {
  s.window.checking.caption = " TELVANORE seems to be died at: " + stamp;
  watch_deletion(s, s.state.companion_dir, !s.platform.fs.may_delete_in(s.state.companion_dir));
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
