#pragma once

#include <chrono>

#include "restart.h"

namespace vrnskdm::platform {

// Asks systemd-logind on the system bus to restart the machine, without asking
// the user anything: logind decides by polkit whether the caller may.
class logind_restarter final : public restarter {
 public:
  // How long a whole request may take, from connecting to the bus to logind's
  // answer; a bus or a logind that hangs must not freeze the window.
  static constexpr std::chrono::milliseconds answer_timeout{2000};

  // Non-zero when logind accepted the restart; 0 when it refused, did not answer
  // in time, or could not be reached.
  std::int32_t request_reboot() override;
};

}  // namespace vrnskdm::platform
