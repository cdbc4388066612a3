#pragma once

// The bands on an X server: one override-redirect window for each monitor,
// whose background holds the picture, so that the server repaints it by itself
// whenever it is uncovered.

#include <xcb/xcb.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "overlay.h"
#include "x11_overlay_connection.h"

namespace vrnskdm::platform {

// What the bands show next: a picture for each place, its rows packed; no
// places takes the bands off the screen.
struct x11_frame {
  std::vector<monitor_area> places;
  std::vector<std::vector<std::uint8_t>> pixels;
};

// The windows of one connection's bands, for one thread at a time. Nothing
// here waits for the server's answer; a write waits while the server does not
// read.
class x11_bands {
 public:
  explicit x11_bands(const x11_connection& connection);
  x11_bands(const x11_bands&) = delete;
  x11_bands& operator=(const x11_bands&) = delete;

  // Puts the frame's pictures at their places, over every other window, and
  // takes the bands of no place off the screen. Throws std::bad_alloc.
  void show(const x11_frame& next);

 private:
  struct band {
    xcb_window_t window = 0;
    xcb_pixmap_t pixmap = 0;
    monitor_area place;
    bool mapped = false;
  };

  band& band_on(std::size_t monitor);
  void fit(band& b, const monitor_area& place);
  void put(const band& b, const std::vector<std::uint8_t>& pixels);

  xcb_connection_t* connection_;
  const xcb_screen_t& screen_;
  bool has_shape_;
  xcb_gcontext_t gc_;
  std::vector<band> bands_;
};

}  // namespace vrnskdm::platform
