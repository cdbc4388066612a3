#pragma once

#include <QSocketNotifier>
#include <QTimer>
#include <functional>
#include <optional>

#include "platform/bus_call.h"
#include "supervision/watchdog.h"

namespace vrnskdm::window {

// Drives the watchdog's two timers with one precise Qt timer, armed for the next
// tick that falls due on the monotonic clock. The ticks keep to their own due
// times, so a late wake-up on a busy machine shifts no later tick, and the
// countdown keeps to real seconds. Answers from logind and the notification
// service are taken when their bell rings, between ticks, so that no tick waits
// for them.
class tick_timer {
 public:
  // after_ticks runs after each batch of ticks or answers, and before the timer
  // is armed again. The bell may be null.
  tick_timer(supervision::watchdog& program, std::function<void()> after_ticks,
             platform::answer_bell* bell);

  // Arms the timer for the next tick due, as the handlers last left the timers.
  void arm();

  const QTimer& timer() const { return timer_; }

 private:
  void run_due();

  supervision::watchdog& program_;
  std::function<void()> after_ticks_;
  QTimer timer_;
  std::optional<QSocketNotifier> bell_notifier_;
};

}  // namespace vrnskdm::window
