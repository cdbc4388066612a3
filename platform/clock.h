#pragma once

#include <chrono>

#include "date_time.h"

namespace vrnskdm::platform {

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

}  // namespace vrnskdm::platform
