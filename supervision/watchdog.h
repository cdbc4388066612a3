#pragma once

// The running program without its window: the handlers, and what drives them.

#include <chrono>
#include <optional>

#include "supervisor.h"
#include "tick_scheduler.h"

namespace vrnskdm::supervision {

// The running program without its window: the handlers over one supervisor, and
// the two timers that drive them. The real window and the tests drive it the
// same way: load once, then run what falls due by the platform's monotonic
// clock: the ticks, and the answers from logind, which come when they come.
class watchdog {
 public:
  watchdog(platform::services services, build kind);

  // What the handlers work on: the state, the window's controls, the platform.
  supervision::supervisor& supervisor() { return supervisor_; }
  const supervision::supervisor& supervisor() const { return supervisor_; }

  // The start-up; the timers count from its end, and logind is asked whether a
  // restart would be allowed.
  void load();

  // When the next tick is due, or the next answer is there at the latest, on
  // the monotonic clock; nothing before load.
  std::optional<std::chrono::milliseconds> next_due() const;

  // How long from now until next_due: 0 when it is due already.
  std::optional<std::chrono::milliseconds> time_until_due() const;

  // Acts on the answers that have come, then runs every tick that is due by
  // now, in order.
  void run_due();

  // The operator's actions: the period selector giving up the focus, and the
  // save button.
  void validate_period();
  void save();

  // The program's end: a lock restart's answer still on its way is waited for,
  // within its bound, so that a refusal is logged all the same.
  void end();

 private:
  // The timers as a handler just left them, from now on.
  void follow_timers_from_now();

  supervision::supervisor supervisor_;
  tick_scheduler scheduler_;
  build kind_;
};

}  // namespace vrnskdm::supervision
