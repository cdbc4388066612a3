#pragma once

// The watchdog on Qt's event loop: the start-up's wait lets Qt handle its
// events, and one precise timer and the answer bell run what falls due.

#include <QSocketNotifier>
#include <QTimer>
#include <array>
#include <csignal>
#include <functional>
#include <optional>

#include "platform/bus_call.h"
#include "platform/clock.h"
#include "supervision/watchdog.h"

namespace vrnskdm::window {

// Lets Qt handle what is pending, then sleeps until more comes or a short pause
// has passed: the start-up's wait for the clock polls it in a loop for nine
// seconds, and must neither spin a core nor notice a new second late.
class qt_event_pump final : public platform::event_pump {
 public:
  qt_event_pump();
  void pump_events() override;

 private:
  QTimer wake_;
};

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
  tick_timer(supervision::watchdog& watchdog, std::function<void()> after_ticks,
             platform::answer_bell* bell);

  // Arms the timer for the next tick due, as the handlers last left the timers.
  void arm();

  const QTimer& timer() const { return timer_; }

 private:
  void run_due();

  supervision::watchdog& watchdog_;
  std::function<void()> after_ticks_;
  QTimer timer_;
  std::optional<QSocketNotifier> bell_notifier_;
};

// Ends the program as closing its window does when the session or a user asks
// it to stop (SIGTERM, as at logout, SIGINT or SIGHUP): the signal reaches the
// event loop through a pipe, so that the end runs as after a close, with a
// restart's answer awaited and the desktop's notification taken away. A stop
// before the event loop runs, in the start-up's wait for the clock, ends the
// program there and then, with status 0. SIGINT or SIGHUP ignored at the
// start (nohup, a background job) stays ignored.
class stop_on_signals {
 public:
  stop_on_signals();
  ~stop_on_signals();
  stop_on_signals(const stop_on_signals&) = delete;
  stop_on_signals& operator=(const stop_on_signals&) = delete;

 private:
  static constexpr std::array<int, 3> stop_signals{SIGTERM, SIGINT, SIGHUP};

  int read_end_ = -1;
  std::optional<QSocketNotifier> notifier_;
  std::array<struct sigaction, stop_signals.size()> before_{};  // given back at the end
};

}  // namespace vrnskdm::window
