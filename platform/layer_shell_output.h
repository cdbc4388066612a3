#pragma once

// A Wayland output as the overlay knows it: where it stands in the desktop,
// how large it is, at which scale, and the band shown on it.

#include <wayland-client.h>

#include <cstdint>
#include <memory>

#include "layer_shell_band.h"
#include "overlay.h"
#include "xdg-output-unstable-v1-client.h"

namespace vrnskdm::platform {

// A monitor, as a wl_output and xdg-output describe it, and the band shown on
// it.
struct wayland_output {
  std::uint32_t name = 0;  // the global's, to know which one goes
  wl_output* proxy = nullptr;
  zxdg_output_v1* placed = nullptr;  // where the output stands among the others
  int x = 0;
  int y = 0;
  int mode_width = 0;
  int mode_height = 0;
  bool turned = false;    // a quarter turn: the mode's width runs down the screen
  int logical_width = 0;  // in the desktop's units; 0 until xdg-output tells
  int logical_height = 0;
  std::int32_t scale = 1;
  std::uint32_t preferred_scale = 0;  // for its band, in 120ths; 0 until told
  bool described = false;             // its mode is known
  std::unique_ptr<layer_shell_band> band;

  // The scale its band is drawn at, in 120ths: a fractional one only through
  // a viewport.
  std::uint32_t band_scale(bool viewport) const;

  // Its place in the desktop, and its size in the pixels of the band's
  // pictures: its size in the desktop's units (its mode's over its scale
  // where xdg-output tells none) at the scale the band is drawn at.
  monitor_area area(bool viewport) const;

  ~wayland_output();
};

// What the output and its xdg-output tell, for their listeners' data.
extern const wl_output_listener output_events;
extern const zxdg_output_v1_listener placement_events;

}  // namespace vrnskdm::platform
