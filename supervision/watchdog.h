#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "supervisor.h"
#include "tick_scheduler.h"

namespace vrnskdm::supervision {

// The running program without its window: the handlers over one supervisor, and
// the two timers that drive them. The real window and the tests drive it the
// same way: load once, then run the ticks as they fall due by the platform's
// monotonic clock.
class watchdog {
 public:
  watchdog(platform::services services, std::int16_t build_debug_mode);

  supervisor& parts() { return supervisor_; }
  const supervisor& parts() const { return supervisor_; }

  // The start-up; the timers count from its end.
  void load();

  // When the next tick is due, on the monotonic clock; nothing before load.
  std::optional<std::chrono::milliseconds> next_tick_due() const;

  // Runs every tick that is due by now, in order.
  void run_due_ticks();

  // The operator's actions: the period selector giving up the focus, and the
  // save button.
  void validate_period();
  void save();

 private:
  // The timers as a handler just left them, from now on.
  void follow_timers_from_now();

  supervisor supervisor_;
  tick_scheduler scheduler_;
  std::int16_t build_debug_mode_;
};

}  // namespace vrnskdm::supervision
