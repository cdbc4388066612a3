#pragma once

#include <string>

#include "supervisor.h"

namespace vrnskdm::supervision {

std::string companion_executable_path(const std::string& companion_dir);
std::string heartbeat_path(const std::string& companion_dir);

// The heartbeat half of the watch tick: tells whether the companion is missing,
// alive or silent, consumes its heartbeat, arms or disarms the countdown, and
// restarts the machine when a silent tick finds the countdown run out.
void watch_heartbeat(supervisor& s);

}  // namespace vrnskdm::supervision
