#include "simulated_clock.h"

namespace vrnskdm::testing {

simulated_clock::simulated_clock(platform::date_time wall_start) : wall_at_zero_{wall_start} {}

simulated_clock simulated_clock::in_time_zone(std::time_t utc_start) {
  simulated_clock clock{platform::date_time{std::chrono::seconds{utc_start}}};
  clock.in_time_zone_ = true;
  return clock;
}

platform::date_time simulated_clock::now() {
  const auto wall = std::chrono::floor<std::chrono::seconds>(wall_at_zero_ + monotonic_);
  if (!in_time_zone_) return wall;
  return platform::to_local(static_cast<std::time_t>(wall.time_since_epoch().count()));
}

}  // namespace vrnskdm::testing
