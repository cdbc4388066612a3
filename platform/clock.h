#pragma once

// Time as the watchdog reads it, and the events it lets the window handle
// while it waits.

#include <chrono>
#include <ctime>

namespace vrnskdm::platform {

// A local wall-clock date-time, to the second. Arithmetic on it is civil: an hour
// added is an hour on the wall clock, whatever the time zone does meanwhile.
using date_time = std::chrono::local_seconds;

date_time make_date_time(int year, unsigned month, unsigned day, int hour, int minute,
                         int second);

// The wall-clock time of a moment in the process's time zone (TZ).
date_time to_local(std::time_t moment);

// Hour boundaries crossed from a to b: both cut down to the whole hour, then
// subtracted. 10:59 to 11:00 gives 1, 10:00 to 10:59 gives 0; negative when b is
// earlier than a. Clock changes, daylight saving included, shift the count.
long long hours_between(date_time a, date_time b);

// The date-time that many hours later, to the nearest second.
date_time add_hours(date_time t, double hours);

// Time as the logic sees it: the wall clock, which the operator or the network
// may step, and a monotonic count that only ever moves forward, for timers.
class clock {
 public:
  virtual ~clock() = default;

  // The local date and time, to the second.
  virtual date_time now() = 0;

  // Milliseconds since an arbitrary start; never steps.
  virtual std::chrono::milliseconds monotonic() = 0;
};

class real_clock final : public clock {
 public:
  date_time now() override;
  std::chrono::milliseconds monotonic() override;
};

// Lets the window handle what is pending while the start-up waits.
class event_pump {
 public:
  virtual ~event_pump() = default;

  // Handles pending window events, then returns; may wait a little for more, so
  // that a loop around it does not spin a core.
  virtual void pump_events() = 0;
};

}  // namespace vrnskdm::platform
