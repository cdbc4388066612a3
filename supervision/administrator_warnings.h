#pragma once

#include <string_view>

#include "platform/services.h"

namespace vrnskdm::supervision {

// Tells the administrator, through the system's log, of something that keeps
// the watchdog from its work. report.log never gets these.
inline void warn_administrator(platform::services& platform, std::string_view message) {
  if (platform.system_log != nullptr) platform.system_log->warn(message);
}

// A problem that lasts until somebody mends it, seen again at every look: the
// administrator hears of it once when it begins, and again only when it comes
// back after it was gone.
class lasting_problem {
 public:
  // Whether the problem, there or not at this look, has only now begun.
  bool begins(bool there) {
    const bool begun = there && !there_;
    there_ = there;
    return begun;
  }

 private:
  bool there_ = false;
};

struct lasting_problems {
  lasting_problem heartbeat_undeletable;
  lasting_problem marker_unwritable;
};

}  // namespace vrnskdm::supervision
