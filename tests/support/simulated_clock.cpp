#include "simulated_clock.h"

namespace vrnskdm::testing {

simulated_clock::simulated_clock(platform::date_time wall_start) : wall_at_zero_{wall_start} {}

platform::date_time simulated_clock::now() {
  return std::chrono::floor<std::chrono::seconds>(wall_at_zero_ + monotonic_);
}

}  // namespace vrnskdm::testing
