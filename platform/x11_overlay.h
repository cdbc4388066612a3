#pragma once

// The X11 route of overlay.h with its bound of its own on how long the server
// may take to take in one frame before the band ends (open_x11_overlay's is
// 5 s): for trying a server that hangs without waiting that long.

#include <chrono>
#include <memory>

#include "overlay.h"

namespace vrnskdm::platform {

std::unique_ptr<overlay_display> open_x11_overlay(std::chrono::milliseconds frame_patience);

}  // namespace vrnskdm::platform
