#include "scheduled_reboot.h"

#include "eventlog/log_event.h"
#include "marker_file.h"
#include "period_table.h"
#include "platform/text.h"
#include "restart_request.h"

namespace vrnskdm::supervision {

namespace {

void period_ran_out(supervisor& s, platform::date_time now) {
  supervisor_state& state = s.state;
  if (s.platform.fs.file_exists(marker_path(state.base_dir))) {
    // The period stays due, so this repeats every tick until the machine goes
    // down, the marker is deleted or the schedule is switched off.
    eventlog::log_event(s.platform, state.base_dir, "Shutdown. DELETE.ME found not deleted.");
    if (state.debug_mode == 0) {
      request_restart(s);
    } else {
      eventlog::log_event(s.platform, state.base_dir, "Reboot not executed. Debug mode is active.");
    }
    return;
  }
  // A marker that cannot be written does not hold the renewal back: the new
  // period counts all the same, and the next one is not due for its whole length.
  state.cycle_start = now;
  write_marker(state, s.platform.fs, renewal_wording);
  eventlog::log_event(s.platform, state.base_dir, "Timeout check performed. DELETE.ME created.");
}

}  // namespace

void check_schedule(supervisor& s) {
  const platform::date_time now = s.platform.time.now();
  const long long hours_passed = platform::hours_between(s.state.cycle_start, now);
  const auto period = period_of(s.state);
  if (period && hours_passed >= *period && s.window.reboot24.value() == 1) {
    period_ran_out(s, now);
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
