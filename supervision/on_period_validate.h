#pragma once

#include "supervisor.h"

namespace vrnskdm::supervision {

// The period selector giving up the focus to another control of the window: its
// entry becomes the period from the next tick on, counted from the start of the
// current one. Typed text that names no entry changes nothing, and the selector
// shows the period in use again.
void on_period_validate(supervisor& s);

}  // namespace vrnskdm::supervision
