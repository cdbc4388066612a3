#include "scheduled_reboot.h"

#include "marker_file.h"
#include "period_table.h"
#include "platform/text.h"
#include "restart_request.h"

namespace vrnskdm::supervision {

namespace {

// While a refused series lasts, its lines come this often at most: a log line
// every second would fill the log to its cap, and empty it, every 18 minutes.
constexpr std::chrono::milliseconds series_log_interval = std::chrono::hours{1};

// The period stays due, so the request repeats every tick until one is
// accepted, the marker is deleted or the schedule is switched off: a restart
// may be allowed at any moment.
void restart_at_end_of_period(supervisor& s) {
  restart_progress& progress = s.restart;
  const std::chrono::milliseconds now = s.platform.time.monotonic();
  const bool log_now =
      !progress.series_running || now - progress.series_logged_at >= series_log_interval;
  progress.series_running = true;
  if (log_now) {
    progress.series_logged_at = now;
    record_event(s, "Shutdown. DELETE.ME found not deleted.");
  }
  if (s.state.debug_mode == 0) {
    ask_for_restart(s, log_now ? restart_asker::scheduled_and_logged : restart_asker::scheduled);
  } else if (log_now) {
    record_event(s, "Reboot not executed. Debug mode is active.");
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
  record_event(s, "Timeout check performed. DELETE.ME created.");
}

}  // namespace

void check_schedule(supervisor& s) {
  const platform::date_time now = s.platform.time.now();
  const long long hours_passed = platform::hours_between(s.state.cycle_start, now);
  const auto period = period_of(s.state);
  if (period && hours_passed >= *period && s.window.reboot24.value() == 1) {
    period_ran_out(s, now);
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

}  // namespace vrnskdm::supervision
