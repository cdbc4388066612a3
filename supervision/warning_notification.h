#pragma once

#include "supervisor.h"

namespace vrnskdm::supervision {

// The countdown's warning also goes to the desktop as a notification, which
// the desktop shows over a program that fills the screen, where the window
// itself may not come up. It stands for one countdown: sent when the warning
// panel shows and none stands, withdrawn when the panel's warning no longer
// holds (the companion is alive again, the switch is no longer checked) and
// when the countdown has run out and the restart is asked for. A countdown
// that starts again after a refused restart sends a new one, in place of the
// one before.

// The warning panel shows: the notification goes out unless it stands already.
void notify_warning(supervisor& s);

// The warning no longer holds: its notification, if one stands, is closed.
void withdraw_warning(supervisor& s);

// Takes what the desktop replied; its replies change nothing in the watchdog.
void take_notification_replies(supervisor& s);

}  // namespace vrnskdm::supervision
