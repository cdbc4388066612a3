#pragma once

#include <QTimer>
#include <functional>

#include "supervision/watchdog.h"

namespace vrnskdm::window {

// Drives the watchdog's two timers with one precise Qt timer, armed for the next
// tick that falls due on the monotonic clock. The ticks keep to their own due
// times, so a late wake-up on a busy machine shifts no later tick, and the
// countdown keeps to real seconds.
class tick_timer {
 public:
  // after_ticks runs after each batch of ticks, and before the timer is armed
  // again.
  tick_timer(supervision::watchdog& program, std::function<void()> after_ticks);

  // Arms the timer for the next tick due, as the handlers last left the timers.
  void arm();

  const QTimer& timer() const { return timer_; }

 private:
  supervision::watchdog& program_;
  std::function<void()> after_ticks_;
  QTimer timer_;
};

}  // namespace vrnskdm::window
