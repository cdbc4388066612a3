#pragma once

#include <chrono>

#include "administrator_warnings.h"
#include "platform/services.h"
#include "supervisor_state.h"
#include "window_model.h"

namespace vrnskdm::supervision {

// What the watchdog asked of logind and has yet to hear, and the scheduled
// restart's series of requests.
struct restart_progress {
  bool request_pending = false;
  std::chrono::milliseconds request_answer_due{};
  bool lock_restart_waiting = false;  // for the answer, to log a refusal
  bool refusal_to_report = false;     // to the administrator, with logind's reason
  bool permission_pending = false;
  std::chrono::milliseconds permission_answer_due{};
  // The log or the marker has lines that may not be on the disk yet.
  bool written_since_flush = true;
  // A period ran out with its marker still there: requests follow every second
  // until one is accepted, the marker is deleted or the schedule switched off.
  bool series_running = false;
  std::chrono::milliseconds series_logged_at{};
};

// What every handler works on: the shared state, the window's controls and the
// platform.
struct supervisor {
  explicit supervisor(platform::services services) : platform{services} {}

  supervisor_state state;
  window_model window;
  platform::services platform;
  restart_progress restart;
  lasting_problems problems;
  // The countdown's notification was sent and not withdrawn since.
  bool warning_notified = false;
};

}  // namespace vrnskdm::supervision
