#pragma once

#include "platform/services.h"
#include "supervisor_state.h"
#include "window_model.h"

namespace vrnskdm::supervision {

// What every handler works on: the shared state, the window's controls and the
// platform.
struct supervisor {
  explicit supervisor(platform::services services) : platform{services} {}

  supervisor_state state;
  window_model window;
  platform::services platform;
};

}  // namespace vrnskdm::supervision
