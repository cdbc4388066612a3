#pragma once

#include <chrono>

#include "support/simulated_watchdog.h"
#include "window/operator_window.h"

namespace vrnskdm::testing {

// Moves simulated time on by the time given, stopping at each moment a tick
// falls due, where the window's own timer runs the ticks and the window shows
// what they did, as it would at that moment in real time.
void advance_window(simulated_watchdog& run, window::operator_window& window,
                    std::chrono::milliseconds by);

}  // namespace vrnskdm::testing
