#pragma once

#include <string>

#include "supervisor.h"

namespace vrnskdm::supervision {

// "WARNING! SYSTEM REBOOT IN <whole seconds left> SECONDS!"
std::string warning_text(double countdown);

// One tick of the warning countdown: brings the window up once per outage,
// counts down (by half seconds, twice as often, in the last 30), flashes the
// panel and shows the seconds left while the lock restart is switched on.
// It never restarts the machine itself.
void countdown_tick(supervisor& s);

}  // namespace vrnskdm::supervision
