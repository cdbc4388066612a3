#pragma once

#include <cstdint>

#include "supervisor.h"

namespace vrnskdm::supervision {

// Milliseconds between watch ticks.
inline constexpr int watch_interval_ms = 1000;

// The start-up, run once when the window loads and before it is shown: waits for
// the clock to settle (unless in debug mode), prepares the controls and timers,
// reads the settings or takes the defaults, opens a scheduled-reboot period by
// writing the marker, and logs the restart. A failing file operation is skipped
// and the next one runs; the start-up always completes.
void on_load(supervisor& s, std::int16_t build_debug_mode);

}  // namespace vrnskdm::supervision
