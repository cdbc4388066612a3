#pragma once

// What happens each second: the watch tick, first its heartbeat half (is the
// companion missing, alive or silent; its heartbeat consumed; the countdown
// armed or disarmed; the lock restart when a silent tick finds the countdown run
// out), then its scheduled half (at the end of a service period, a restart while
// the marker is still there, or a new period when somebody deleted it; the
// schedule line kept up to date).

#include <string>

#include "supervisor.h"

namespace vrnskdm::supervision {

std::string companion_executable_path(const std::string& companion_dir);
std::string heartbeat_path(const std::string& companion_dir);

// The once-a-second watch: the heartbeat half, then the scheduled half.
void watch_tick(supervisor& s);

}  // namespace vrnskdm::supervision
