#include "watch_tick.h"

#include <chrono>

#include "countdown_tick.h"
#include "platform/text.h"
#include "restart_request.h"
#include "start_up.h"

namespace vrnskdm::supervision {

namespace {

// The folder the companion's files are in: the root folder when the setting
// is empty, the files being "/telvnor.exe" and "/telvnor.vkd" then.
std::string companion_folder(const std::string& dir) { return dir.empty() ? "/" : dir; }

// A heartbeat that stays because it cannot be deleted counts as alive for
// ever: the watch goes on, but watches nothing. The administrator hears of it
// when a deletion fails, or, while there is nothing to delete, when the
// folder's permissions tell in advance; it is over only once a deletion worked.
void heartbeat_undeletable(supervisor& s, const std::string& dir) {
  if (s.problems.heartbeat_undeletable.begins(true)) {
    warn_administrator(s.platform, platform::event::heartbeat_undeletable,
                       "the heartbeat " + heartbeat_path(dir) +
                           " cannot be deleted by this user: the companion counts as alive for as "
                           "long as that lasts, and one that stops is never noticed; let this user "
                           "write in " + companion_folder(dir));
  }
}

void companion_alive(supervisor& s, const std::string& heartbeat, const std::string& stamp) {
  if (s.window.timer2.enabled()) {
    note_in_journal(s.platform, platform::event::outage_over,
                    "the companion's heartbeat came back during the warning: no restart");
  }
  s.window.checking.caption = "TELVANORE alive at: " + stamp;
  s.window.warning.caption.clear();
  s.window.sfondo.visible = false;
  s.window.form.keep_on_top(false);
  s.state.raised = false;
  withdraw_warning(s);
  // A heartbeat that resists is seen again at the next tick, which counts as
  // alive; one the companion removed itself meanwhile is no fault. The debug
  // build stops at a fault, so that it shows.
  if (s.platform.fs.delete_file(heartbeat)) {
    s.problems.heartbeat_undeletable.begins(false);
  } else if (s.platform.fs.file_exists(heartbeat)) {
    if (s.state.debug_mode) s.platform.proc.end_program();
    heartbeat_undeletable(s, s.state.companion_dir);
  }
  s.state.countdown = countdown_start;
  s.window.timer2.set_enabled(false);
}

// The answer comes later; a refusal is logged when it does.
void lock_restart(supervisor& s) {
  record_event(s, platform::event::lock_restart, "Shutdown for no TELVANORE response");
  withdraw_warning(s);
  // The warning has done its work: nothing is held over the other windows while
  // the machine goes down, or for good where the restart is not made.
  s.window.form.keep_on_top(false);
  s.platform.fs.close_all_files();
  if (!s.state.debug_mode) {
    ask_for_restart(s, restart_asker::lock);
  } else {
    record_event(s, platform::event::debug_lock_restart,
                 "Reboot not performed because debug mode is active.");
    report_unable_to_reboot(s);
  }
  s.state.countdown = countdown_start;
  s.window.timer2.set_enabled(false);
}

void companion_silent(supervisor& s, const std::string& stamp) {
  s.window.checking.caption = " TELVANORE seems to be died at: " + stamp;
  const std::string& dir = s.state.companion_dir;
  if (!s.platform.fs.may_delete_in(companion_folder(dir))) heartbeat_undeletable(s, dir);
  if (s.window.reboot.value() > 0) {
    // Once for each warning: a countdown that ran out and brought no restart
    // begins another.
    if (!s.window.timer2.enabled()) {
      note_in_journal(s.platform, platform::event::outage_begun,
                      "the companion fell silent: the machine restarts when the warning's "
                      "countdown runs out");
    }
    s.window.timer2.set_enabled(true);
    if (s.state.countdown == 0) lock_restart(s);
  }
}

// The heartbeat half: tells whether the companion is missing, alive or silent,
// consumes its heartbeat, arms or disarms the countdown, and restarts the
// machine when a silent tick finds the countdown run out.
void watch_heartbeat(supervisor& s, platform::date_time now) {
  const std::string& dir = s.state.companion_dir;
  if (!s.platform.fs.file_exists(companion_executable_path(dir))) {
    // A countdown already running goes on: a missing companion arms and disarms
    // nothing.
    s.window.checking.caption = "TELVANORE seems to be not installed.";
    return;
  }
  const std::string stamp = platform::timestamp_text(now);
  const std::string heartbeat = heartbeat_path(dir);
  if (s.platform.fs.file_exists(heartbeat)) {
    companion_alive(s, heartbeat, stamp);
  } else {
    companion_silent(s, stamp);
  }
}

// While a refused series lasts, its lines come this often at most: a log line
// every second would fill the log to its cap, and empty it, every 18 minutes.
constexpr std::chrono::milliseconds series_log_interval = std::chrono::hours{1};

// The period stays due, so the request repeats every tick until the marker is
// deleted or the schedule is switched off: a restart may be allowed at any
// moment, and one accepted is answered as under way until the machine is down.
void restart_at_end_of_period(supervisor& s) {
  restart_progress& progress = s.restart;
  const std::chrono::milliseconds now = s.platform.time.monotonic();
  const bool log_now =
      !progress.series_running || now - progress.series_logged_at >= series_log_interval;
  progress.series_running = true;
  if (log_now) {
    progress.series_logged_at = now;
    record_event(s, platform::event::scheduled_restart, "Shutdown. DELETE.ME found not deleted.");
  }
  if (!s.state.debug_mode) {
    ask_for_restart(s, log_now ? restart_asker::scheduled_and_logged : restart_asker::scheduled);
  } else if (log_now) {
    record_event(s, platform::event::debug_scheduled_restart,
                 "Reboot not executed. Debug mode is active.");
  }
}

void period_ran_out(supervisor& s, platform::date_time now) {
  if (s.platform.fs.file_exists(marker_path(s.state.base_dir))) {
    restart_at_end_of_period(s);
    return;
  }
  s.restart.series_running = false;
  // A marker that cannot be written does not hold the renewal back: the new
  // period counts all the same, and the next one is not due for its whole length.
  s.state.cycle_start = now;
  mark_new_period(s, renewal_wording);
  record_event(s, platform::event::renewal, "Timeout check performed. DELETE.ME created.");
}

// The scheduled half: at the end of the period, restarts the machine while the
// marker is still there, or begins a new period when somebody deleted it; keeps
// the schedule line up to date.
void check_schedule(supervisor& s, platform::date_time now) {
  const long long hours_passed = platform::hours_between(s.state.cycle_start, now);
  const auto period = period_of(s.state);
  if (period && hours_passed >= *period && s.window.reboot24.value() == 1) {
    // The lock restart's lines come first, its refusal included: the period
    // stays due until its answer is there.
    if (!s.restart.lock_restart_waiting) period_ran_out(s, now);
  } else {
    s.restart.series_running = false;
  }
  if (period && s.window.reboot24.value() == 1) {
    s.window.deleteme.caption =
        "System will reboot at: " +
        platform::timestamp_text(platform::add_hours(s.state.cycle_start, *period));
  } else {
    s.window.deleteme.caption = "Timeout Reboot disabled.";
  }
}

}  // namespace

std::string companion_executable_path(const std::string& companion_dir) {
  return companion_dir + "/telvnor.exe";
}

std::string heartbeat_path(const std::string& companion_dir) {
  return companion_dir + "/telvnor.vkd";
}

// One look at the clock serves the whole tick: each look also looks at the
// machine's time zone, at the cost of a system call.
void watch_tick(supervisor& s) {
  const platform::date_time now = s.platform.time.now();
  watch_heartbeat(s, now);
  check_schedule(s, now);
}

}  // namespace vrnskdm::supervision
