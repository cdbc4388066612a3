#pragma once

// A band across the top of every monitor, above every other window, fullscreen
// ones included: where the restart's warning is seen whatever program fills
// the screen. The pictures are drawn by the window; this hands them to the
// display server.

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace vrnskdm::platform {

// A monitor's place on the display, and its size in the pixels a band's
// picture for it is drawn in: on X11 the screen's own; on Wayland its size in
// the desktop's units (which outputs are laid out in) at the scale the
// compositor shows the band at, rounded: a scale of 2 or 1.5 asks for that
// many pixels to each unit, and the overlay sizes and scales the band itself.
struct monitor_area {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// Opaque pixels, 32 bits each, in the machine's byte order as 0xAARRGGBB
// (what QImage::Format_ARGB32_Premultiplied and Format_RGB32 hold), rows
// stride_bytes apart. Only borrowed for the call it is given to.
struct overlay_picture {
  int width = 0;
  int height = 0;
  int stride_bytes = 0;
  const std::uint8_t* pixels = nullptr;
};

// One display server's way of putting a band over everything. It takes no
// keyboard focus and, where the display allows, lets touches and clicks through
// to the program underneath. Nothing here waits for the display server longer
// than sending to it: what the display answers is taken in handle_events.
// Every call after the display went away or refused fails, and changes nothing
// else: the overlay ends, never the watchdog.
class overlay_display {
 public:
  virtual ~overlay_display() = default;

  // How the band is put over everything, for the journal: "wlr-layer-shell
  // overlay layer" or "X11 override-redirect window".
  virtual std::string_view route() const = 0;

  // The monitors as the display knows them now, at least one while the display
  // is there; empty once it has gone.
  virtual std::vector<monitor_area> monitors() = 0;

  // Shows one band on each monitor, pictures[i] across the top of monitors()[i],
  // in place of what was shown before, and puts it over everything again.
  // False when the display has gone or refused.
  virtual bool show(const std::vector<overlay_picture>& pictures) = 0;

  // Takes the bands off the screen; they come back with the next show.
  virtual void hide() = 0;

  // A descriptor that becomes readable when the display has sent something,
  // for the window's event loop to watch; -1 once the display has gone.
  virtual int descriptor() const = 0;

  // Takes what the display has sent, without waiting. False once the display
  // has gone.
  virtual bool handle_events() = 0;
};

// The overlay layer of the wlr-layer-shell protocol, on the Wayland display
// that WAYLAND_DISPLAY names; nothing where there is no such display or it
// offers no layer shell. Opening throws std::bad_alloc where memory cannot be
// had, for the thread that opens it to catch; the overlay's calls throw
// nothing: without memory or shared memory for a band, the overlay ends.
std::unique_ptr<overlay_display> open_layer_shell_overlay();

// An override-redirect window on each monitor, on the X server that DISPLAY
// names (an X11 desktop's, or a Wayland desktop's Xwayland); nothing where
// there is none.
std::unique_ptr<overlay_display> open_x11_overlay();

}  // namespace vrnskdm::platform
