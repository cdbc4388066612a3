#pragma once

#include <chrono>

#include "platform/clock.h"

namespace vrnskdm::testing {

// A clock that moves only when told. The wall clock and the monotonic count move
// together, and the wall clock can also be stepped alone, as when the operator or
// the network sets it.
class simulated_clock final : public platform::clock {
 public:
  explicit simulated_clock(platform::date_time wall_start);

  platform::date_time now() override;
  std::chrono::milliseconds monotonic() override { return monotonic_; }

  void advance(std::chrono::milliseconds by) { monotonic_ += by; }
  void advance_to(std::chrono::milliseconds monotonic) { monotonic_ = monotonic; }
  void step_wall(std::chrono::seconds by) { wall_at_zero_ += by; }

 private:
  std::chrono::local_time<std::chrono::milliseconds> wall_at_zero_;
  std::chrono::milliseconds monotonic_{0};
};

}  // namespace vrnskdm::testing
