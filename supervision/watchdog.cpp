#include "watchdog.h"

#include <algorithm>

#include "countdown_tick.h"
#include "operator_actions.h"
#include "restart_request.h"
#include "start_up.h"
#include "watch_tick.h"

namespace vrnskdm::supervision {

watchdog::watchdog(platform::services services, build kind)
    : supervisor_{services}, kind_{kind} {}

void watchdog::load() {
  on_load(supervisor_, kind_);
  check_restart_permission(supervisor_);
  follow_timers_from_now();
}

void watchdog::validate_period() {
  on_period_validate(supervisor_);
  follow_timers_from_now();
}

void watchdog::save() {
  on_save(supervisor_);
  follow_timers_from_now();
}

void watchdog::end() { await_lock_restart_answer(supervisor_); }

void watchdog::follow_timers_from_now() {
  const auto now = supervisor_.platform.time.monotonic();
  scheduler_.follow(supervisor_.window, now, now);
}

std::optional<std::chrono::milliseconds> watchdog::next_due() const {
  const auto tick = scheduler_.next();
  const auto answer = next_answer_due(supervisor_);
  if (!tick) return answer;
  return answer ? std::min(tick->due, *answer) : tick->due;
}

std::optional<std::chrono::milliseconds> watchdog::time_until_due() const {
  const auto due = next_due();
  if (!due) return std::nullopt;
  return std::max(*due - supervisor_.platform.time.monotonic(), std::chrono::milliseconds{0});
}

void watchdog::run_due() {
  take_answers(supervisor_);
  take_notification_replies(supervisor_);
  platform::clock& time = supervisor_.platform.time;
  for (auto tick = scheduler_.next(); tick && tick->due <= time.monotonic();
       tick = scheduler_.next()) {
    if (tick->timer == timer_id::timer1) {
      watch_tick(supervisor_);
    } else {
      countdown_tick(supervisor_);
    }
    scheduler_.ticked(supervisor_.window, *tick, time.monotonic());
  }
}

}  // namespace vrnskdm::supervision
