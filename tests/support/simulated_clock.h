#pragma once

#include <chrono>
#include <ctime>

#include "platform/clock.h"

namespace vrnskdm::testing {

// A clock that moves only when told. The wall clock and the monotonic count move
// together, and the wall clock can also be stepped alone, as when the operator or
// the network sets it.
class simulated_clock final : public platform::clock {
 public:
  explicit simulated_clock(platform::date_time wall_start);

  // The wall clock as the local time, in the process's time zone (TZ), of a UTC
  // moment that moves with the monotonic count, so that daylight-saving changes
  // come when the zone has them; step_wall moves that moment.
  static simulated_clock in_time_zone(std::time_t utc_start);

  platform::date_time now() override;
  std::chrono::milliseconds monotonic() override { return monotonic_; }

  void advance(std::chrono::milliseconds by) { monotonic_ += by; }
  void advance_to(std::chrono::milliseconds monotonic) { monotonic_ = monotonic; }
  void step_wall(std::chrono::seconds by) { wall_at_zero_ += by; }

 private:
  // In a time zone, wall_at_zero_ counts UTC seconds, not local ones.
  bool in_time_zone_ = false;
  std::chrono::local_time<std::chrono::milliseconds> wall_at_zero_;
  std::chrono::milliseconds monotonic_{0};
};

}  // namespace vrnskdm::testing
