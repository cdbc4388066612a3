#include "restart_request.h"

#include "eventlog/log_event.h"
#include "marker_file.h"

namespace vrnskdm::supervision {

std::int32_t request_restart(supervisor& s) {
  s.platform.fs.flush_to_disk(eventlog::log_path(s.state.base_dir));
  s.platform.fs.flush_to_disk(marker_path(s.state.base_dir));
  return s.platform.restart.request_reboot();
}

}  // namespace vrnskdm::supervision
