#pragma once

#include <chrono>

#include "restart.h"

namespace vrnskdm::platform {

// Asks systemd-logind on the system bus to restart the machine, without asking
// the user anything: logind decides by polkit whether the caller may.
class logind_restarter final : public restarter {
 public:
  // How long a request may wait for logind's answer; a peer that hangs must not
  // freeze the window.
  static constexpr std::chrono::milliseconds answer_timeout{2000};

  std::int32_t request_reboot() override;
};

}  // namespace vrnskdm::platform
