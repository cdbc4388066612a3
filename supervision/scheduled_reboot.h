#pragma once

#include "supervisor.h"

namespace vrnskdm::supervision {

// The scheduled half of the watch tick: at the end of the period, restarts the
// machine while the marker is still there, or begins a new period when somebody
// deleted it; keeps the schedule line up to date.
void check_schedule(supervisor& s);

}  // namespace vrnskdm::supervision
