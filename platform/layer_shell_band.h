#pragma once

// The overlay's band on one Wayland output: a layer surface on the overlay
// layer, across the top, and the shared-memory buffers it shows in turn.

#include <wayland-client.h>

#include <cstdint>
#include <memory>

#include "fractional-scale-v1-client.h"
#include "overlay.h"
#include "viewporter-client.h"
#include "wlr-layer-shell-unstable-v1-client.h"

namespace vrnskdm::platform {

// What the compositor offers that a band is made of; the last two are null
// where it offers none.
struct band_makers {
  wl_compositor* compositor = nullptr;
  wl_shm* shm = nullptr;
  zwlr_layer_shell_v1* layer_shell = nullptr;
  wp_viewporter* viewporter = nullptr;
  wp_fractional_scale_manager_v1* fractions = nullptr;
};

// Destroys a proxy that was made, once.
template <typename Proxy>
void forget(Proxy*& proxy, void (*destroy)(Proxy*)) {
  if (proxy) destroy(proxy);
  proxy = nullptr;
}

// Scales in 120ths, as the fractional-scale protocol counts them.
constexpr std::uint32_t whole_scale = 120;

// A buffer's pixels for so many of a surface's units at a scale, rounded.
constexpr int at_scale(int units, std::uint32_t scale) {
  return static_cast<int>((std::int64_t{units} * scale + whole_scale / 2) / whole_scale);
}

// A surface's units for so many of a buffer's pixels at a scale, rounded.
constexpr int in_units(int pixels, std::uint32_t scale) {
  return static_cast<int>((std::int64_t{pixels} * whole_scale + scale / 2) / scale);
}

struct shm_buffer;

class layer_shell_band {
 public:
  // A band across the top of the output that pushes no window aside, takes
  // no keyboard focus and lets touches and clicks through. Where the
  // compositor tells at which scale it would have the band drawn, it is set
  // into *preferred_scale, in 120ths, from the listeners.
  layer_shell_band(const band_makers& makers, wl_output* output, std::uint32_t* preferred_scale);
  ~layer_shell_band();
  layer_shell_band(const layer_shell_band&) = delete;
  layer_shell_band& operator=(const layer_shell_band&) = delete;

  // Closed by the compositor: its output went, or for a reason of its own.
  bool closed() const { return closed_; }

  // Shows the picture across the band, drawn at scale (in 120ths) buffer
  // pixels to each of the surface's units. Through a viewport the picture is
  // shown as it is, stretched to the band's size in units where the scale
  // does not divide; without one the scale must be whole, and a picture whose
  // size is not a multiple of it is widened by its last column and row. False
  // where shared memory cannot be had.
  bool show(const overlay_picture& picture, std::uint32_t scale);

 private:
  static const zwlr_layer_surface_v1_listener layer_events;

  shm_buffer* buffer_for(int width, int height);
  void present();

  band_makers makers_;
  wl_surface* surface_ = nullptr;
  zwlr_layer_surface_v1* layer_ = nullptr;
  wp_viewport* viewport_ = nullptr;
  wp_fractional_scale_v1* fraction_ = nullptr;
  // Buffers drawn into in turn: the compositor may still be reading the one
  // shown last.
  std::unique_ptr<shm_buffer> buffers_[2];
  shm_buffer* shown_ = nullptr;  // the buffer to show; attached once configured
  std::int32_t asked_height_ = 0;  // in the surface's units
  std::int32_t units_wide_ = 0;    // the picture's width in them
  std::int32_t buffer_scale_ = 1;  // without a viewport
  std::int32_t configured_width_ = 0;
  std::int32_t configured_height_ = 0;
  bool configured_ = false;
  bool closed_ = false;
};

}  // namespace vrnskdm::platform
