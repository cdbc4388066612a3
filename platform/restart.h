#pragma once

#include <cstdint>

namespace vrnskdm::platform {

// Restarts the machine.
class restarter {
 public:
  virtual ~restarter() = default;

  // Asks for a forced restart and returns at once, the restart going on in the
  // background: non-zero when it has been started, 0 when it was refused or
  // nobody could be asked.
  virtual std::int32_t request_reboot() = 0;
};

}  // namespace vrnskdm::platform
