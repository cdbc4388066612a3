#include "clock.h"

#include <ctime>

namespace vrnskdm::platform {

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
