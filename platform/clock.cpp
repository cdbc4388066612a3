#include "clock.h"

#include <ctime>

namespace vrnskdm::platform {

date_time real_clock::now() { return to_local(std::time(nullptr)); }

std::chrono::milliseconds real_clock::monotonic() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
}

}  // namespace vrnskdm::platform
