#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/clock.h"

namespace vrnskdm::supervision {

// Seconds the warning countdown starts from.
inline constexpr double countdown_start = 180;

// The one record of program-wide state the handlers share. It lives as long as the
// window and is never saved as a whole.
struct supervisor_state {
  std::string base_dir;       // home of the settings file, the marker and the log
  std::string companion_dir;  // where the companion's executable and heartbeat are
  std::int16_t reboot_on_lock = 0;  // saved from the "reboot" check box
  std::int16_t reboot_each = 0;     // saved from the "reboot24" check box
  std::int16_t period_index = 0;    // row of period_hours in use
  std::array<double, 11> period_hours{};
  platform::date_time cycle_start{};  // start of the current scheduled-reboot period
  double countdown = 0;               // seconds left in the warning countdown
  std::int16_t blink = 0;             // flash phase of the warning panel
  std::int16_t raised = 0;            // 1 once the window was brought up in this outage
  std::int16_t debug_mode = 0;        // restarts only logged, from the debug build
};

}  // namespace vrnskdm::supervision
