#pragma once

// The warning while the companion is silent: the countdown tick, which brings
// the window up once an outage, counts down and flashes the panel, and the
// warning's copy on the desktop as a notification.

#include <string>

#include "supervisor.h"

namespace vrnskdm::supervision {

// "WARNING! SYSTEM REBOOT IN <whole seconds left> SECONDS!"
std::string warning_text(double countdown);

// One tick of the warning countdown: brings the window up once per outage,
// counts down (by half seconds, twice as often, in the last 30), flashes the
// panel and shows the seconds left while the lock restart is switched on, with
// the window kept over the others while it does. It never restarts the machine
// itself.
void countdown_tick(supervisor& s);

// The countdown's warning also goes to the desktop as a notification, which
// the desktop shows over a program that fills the screen, where the window
// itself may not come up. It stands for one countdown: sent when the warning
// panel shows and none stands, withdrawn when the panel's warning no longer
// holds (the companion is alive again, the switch is no longer checked) and
// when the countdown has run out and the restart is asked for. A countdown
// that starts again after a refused restart sends a new one, in place of the
// one before.
void withdraw_warning(supervisor& s);

// Takes what the desktop replied; its replies change nothing in the watchdog.
void take_notification_replies(supervisor& s);

}  // namespace vrnskdm::supervision
