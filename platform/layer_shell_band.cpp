#include "layer_shell_band.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace vrnskdm::platform {

// One picture's pixels in shared memory, as the compositor reads them.
struct shm_buffer {
  wl_buffer* buffer = nullptr;
  void* pixels = MAP_FAILED;
  int width = 0;
  int height = 0;
  bool busy = false;  // attached, and not yet released by the compositor

  std::size_t size() const { return static_cast<std::size_t>(width) * 4 * height; }

  ~shm_buffer() {
    forget(buffer, wl_buffer_destroy);
    if (pixels != MAP_FAILED) munmap(pixels, size());
  }
};

namespace {

const wl_buffer_listener buffer_events{
    .release = [](void* data, wl_buffer*) { static_cast<shm_buffer*>(data)->busy = false; },
};

// A buffer of the size given; null where shared memory cannot be had.
std::unique_ptr<shm_buffer> make_buffer(wl_shm* shm, int width, int height) {
  auto made = std::make_unique<shm_buffer>();
  made->width = width;
  made->height = height;
  const int fd = memfd_create("vrnskdm-overlay", MFD_CLOEXEC);
  if (fd < 0) return nullptr;
  if (ftruncate(fd, static_cast<off_t>(made->size())) == 0) {
    made->pixels = mmap(nullptr, made->size(), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  }
  if (made->pixels != MAP_FAILED) {
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<std::int32_t>(made->size()));
    // 0xAARRGGBB in the machine's byte order is what ARGB8888 means.
    made->buffer =
        wl_shm_pool_create_buffer(pool, 0, width, height, width * 4, WL_SHM_FORMAT_ARGB8888);
    wl_shm_pool_destroy(pool);
    wl_buffer_add_listener(made->buffer, &buffer_events, made.get());
  }
  close(fd);
  if (made->pixels == MAP_FAILED) return nullptr;
  return made;
}

// The picture into a buffer at least as large, its last column and row
// repeated into what is left.
void copy_widened(const overlay_picture& picture, shm_buffer& target) {
  auto* rows = static_cast<std::uint32_t*>(target.pixels);
  for (int row = 0; row < target.height; ++row) {
    std::uint32_t* into = rows + std::size_t(row) * target.width;
    const std::uint8_t* from =
        picture.pixels + std::size_t(std::min(row, picture.height - 1)) * picture.stride_bytes;
    std::memcpy(into, from, std::size_t(picture.width) * 4);
    std::fill(into + picture.width, into + target.width, into[picture.width - 1]);
  }
}

const wp_fractional_scale_v1_listener fraction_events{
    .preferred_scale =
        [](void* data, wp_fractional_scale_v1*, std::uint32_t scale) {
          if (scale > 0) *static_cast<std::uint32_t*>(data) = scale;
        },
};

}  // namespace

const zwlr_layer_surface_v1_listener layer_shell_band::layer_events{
    .configure =
        [](void* data, zwlr_layer_surface_v1* layer, std::uint32_t serial, std::uint32_t width,
           std::uint32_t height) {
          auto* band = static_cast<layer_shell_band*>(data);
          zwlr_layer_surface_v1_ack_configure(layer, serial);
          band->configured_width_ = static_cast<std::int32_t>(width);
          band->configured_height_ = static_cast<std::int32_t>(height);
          band->configured_ = true;
          band->present();
        },
    .closed = [](void* data, zwlr_layer_surface_v1*) {
      static_cast<layer_shell_band*>(data)->closed_ = true;
    },
};

// Its first commit carries no buffer: the compositor answers it with the
// configure after which buffers may be shown.
layer_shell_band::layer_shell_band(const band_makers& makers, wl_output* output,
                                   std::uint32_t* preferred_scale)
    : makers_{makers} {
  surface_ = wl_compositor_create_surface(makers.compositor);
  wl_region* nowhere = wl_compositor_create_region(makers.compositor);
  wl_surface_set_input_region(surface_, nowhere);
  wl_region_destroy(nowhere);
  if (makers.viewporter) viewport_ = wp_viewporter_get_viewport(makers.viewporter, surface_);
  if (makers.viewporter && makers.fractions) {
    fraction_ = wp_fractional_scale_manager_v1_get_fractional_scale(makers.fractions, surface_);
    wp_fractional_scale_v1_add_listener(fraction_, &fraction_events, preferred_scale);
  }
  // Above fullscreen windows: the top layer is drawn under them.
  layer_ = zwlr_layer_shell_v1_get_layer_surface(makers.layer_shell, surface_, output,
                                                 ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "vrnskdm");
  zwlr_layer_surface_v1_add_listener(layer_, &layer_events, this);
  zwlr_layer_surface_v1_set_anchor(layer_, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP |
                                               ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT |
                                               ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
  zwlr_layer_surface_v1_set_exclusive_zone(layer_, -1);
  zwlr_layer_surface_v1_set_keyboard_interactivity(
      layer_, ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE);
}

layer_shell_band::~layer_shell_band() {
  forget(fraction_, wp_fractional_scale_v1_destroy);
  forget(viewport_, wp_viewport_destroy);
  forget(layer_, zwlr_layer_surface_v1_destroy);
  forget(surface_, wl_surface_destroy);
}

bool layer_shell_band::show(const overlay_picture& picture, std::uint32_t scale) {
  if (picture.width <= 0 || picture.height <= 0) return true;
  // Without a viewport a buffer's size must be a whole number of the
  // surface's units.
  const int whole = viewport_ ? 1 : std::max<int>(1, static_cast<int>(scale / whole_scale));
  const int width = (picture.width + whole - 1) / whole * whole;
  const int height = (picture.height + whole - 1) / whole * whole;
  shm_buffer* target = buffer_for(width, height);
  if (!target) return false;
  copy_widened(picture, *target);
  shown_ = target;
  buffer_scale_ = whole;
  units_wide_ = viewport_ ? std::max(1, in_units(width, scale)) : width / whole;
  const int units_high = viewport_ ? std::max(1, in_units(height, scale)) : height / whole;
  if (units_high != asked_height_) {
    // A new size waits for the compositor's word on it before it is shown.
    asked_height_ = units_high;
    configured_ = false;
    zwlr_layer_surface_v1_set_size(layer_, 0, static_cast<std::uint32_t>(units_high));
    wl_surface_commit(surface_);
  }
  present();
  return true;
}

// Shows the buffer that is to be shown, once the compositor has said how the
// surface may look, at the size it said.
void layer_shell_band::present() {
  if (!configured_ || !shown_) return;
  if (viewport_) {
    wp_viewport_set_destination(viewport_,
                                configured_width_ > 0 ? configured_width_ : units_wide_,
                                configured_height_ > 0 ? configured_height_ : asked_height_);
  } else if (wl_surface_get_version(surface_) >= WL_SURFACE_SET_BUFFER_SCALE_SINCE_VERSION) {
    wl_surface_set_buffer_scale(surface_, buffer_scale_);
  }
  wl_surface_attach(surface_, shown_->buffer, 0, 0);
  wl_surface_damage(surface_, 0, 0, INT32_MAX, INT32_MAX);
  shown_->busy = true;
  wl_surface_commit(surface_);
}

// A buffer of the size given that the compositor is done with, made anew
// where there is none; where the compositor holds them all, the one not shown
// last.
shm_buffer* layer_shell_band::buffer_for(int width, int height) {
  std::unique_ptr<shm_buffer>* chosen = nullptr;
  for (auto& buffer : buffers_) {
    if (!buffer || !buffer->busy) {
      chosen = &buffer;
      break;
    }
    if (buffer.get() != shown_) chosen = &buffer;
  }
  auto& buffer = *chosen;
  if (!buffer || buffer->width != width || buffer->height != height) {
    if (buffer.get() == shown_) shown_ = nullptr;
    buffer = make_buffer(makers_.shm, width, height);
  }
  return buffer.get();
}

}  // namespace vrnskdm::platform
