#pragma once

#include "supervisor.h"

namespace vrnskdm::supervision {

// The once-a-second watch: the heartbeat half, then the scheduled half.
void watch_tick(supervisor& s);

}  // namespace vrnskdm::supervision
