#pragma once

#include <cstdint>

#include "supervisor.h"

namespace vrnskdm::supervision {

// Brings the log and the marker onto the disk, so that the restart loses no
// line, then asks for the forced restart. The request's result: non-zero when
// the restart has been started.
std::int32_t request_restart(supervisor& s);

}  // namespace vrnskdm::supervision
