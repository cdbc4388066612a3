#pragma once

// The platform as the handlers reach it, one seam for each service.

#include "clock.h"
#include "files.h"
#include "journal.h"
#include "notifications.h"
#include "process.h"
#include "restart.h"

namespace vrnskdm::platform {

// The platform as the handlers reach it. The program passes the real services;
// tests pass simulated time, injected faults or a restart that only records.
struct services {
  files& fs;
  clock& time;
  event_pump& events;
  restarter& restart;
  process& proc;
  // The system's log, when there is one: a copy of every event, and the
  // warnings for the administrator.
  journal* system_log = nullptr;
  // The desktop's notifications, where the program shows any: the restart's
  // warning there too.
  notifier* notifications = nullptr;
};

}  // namespace vrnskdm::platform
