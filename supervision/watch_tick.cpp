#include "watch_tick.h"

#include "heartbeat_watch.h"
#include "scheduled_reboot.h"

namespace vrnskdm::supervision {

void watch_tick(supervisor& s) {
  watch_heartbeat(s);
  check_schedule(s);
}

}  // namespace vrnskdm::supervision
