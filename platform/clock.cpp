#include "clock.h"

#include <cmath>
#include <ctime>

namespace vrnskdm::platform {

using namespace std::chrono;

date_time make_date_time(int year, unsigned month, unsigned day, int hour, int minute,
                         int second) {
  const local_days date{std::chrono::year{year} / std::chrono::month{month} /
                        std::chrono::day{day}};
  return date + hours{hour} + minutes{minute} + seconds{second};
}

date_time to_local(std::time_t moment) {
  std::tm parts{};
  if (localtime_r(&moment, &parts) == nullptr) {
    // Outside what the C library can break down: fall back to UTC reckoning.
    return date_time{seconds{moment}};
  }
  return make_date_time(parts.tm_year + 1900, static_cast<unsigned>(parts.tm_mon + 1),
                        static_cast<unsigned>(parts.tm_mday), parts.tm_hour, parts.tm_min,
                        parts.tm_sec);
}

long long hours_between(date_time a, date_time b) {
  return (floor<hours>(b) - floor<hours>(a)).count();
}

date_time add_hours(date_time t, double hours_to_add) {
  return t + seconds{std::llround(hours_to_add * 3600.0)};
}

// The machine's time zone may be changed while the watchdog runs; tzset looks
// at it again, which localtime_r alone does not.
date_time real_clock::now() {
  ::tzset();
  return to_local(std::time(nullptr));
}

std::chrono::milliseconds real_clock::monotonic() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
}

}  // namespace vrnskdm::platform
