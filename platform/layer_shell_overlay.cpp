// The overlay on Wayland: a layer surface on the overlay layer of each output,
// which wlroots-based compositors, KWin and others draw above fullscreen
// windows. Everything after the opening roundtrip is sent without waiting and
// read only when handle_events is called, so a compositor that hangs holds up
// nothing; one that goes away or refuses ends the overlay. A band it closes is
// made again at the next show.

#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <list>

#include "overlay.h"
#include "wlr-layer-shell-unstable-v1-client.h"
#include "xdg-output-unstable-v1-client.h"

namespace vrnskdm::platform {

namespace {

using steady = std::chrono::steady_clock;

// How long opening waits for the compositor to list its globals and describe
// its outputs: it answers a healthy client within milliseconds, and opening
// happens once, at the first warning.
constexpr std::chrono::milliseconds open_wait{500};

// Buffers a band draws into in turn: the compositor may still be reading the
// one shown last.
constexpr std::size_t buffers_per_band = 2;

template <typename Proxy>
void forget(Proxy*& proxy, void (*destroy)(Proxy*)) {
  if (proxy) destroy(proxy);
  proxy = nullptr;
}

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

const wl_buffer_listener buffer_events{
    .release = [](void* data, wl_buffer*) { static_cast<shm_buffer*>(data)->busy = false; },
};

// A buffer of the picture's size holding its pixels; null where shared memory
// cannot be had.
std::unique_ptr<shm_buffer> make_buffer(wl_shm* shm, const overlay_picture& picture) {
  auto made = std::make_unique<shm_buffer>();
  made->width = picture.width;
  made->height = picture.height;
  const int fd = memfd_create("vrnskdm-overlay", MFD_CLOEXEC);
  if (fd < 0) return nullptr;
  if (ftruncate(fd, static_cast<off_t>(made->size())) == 0) {
    made->pixels = mmap(nullptr, made->size(), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  }
  if (made->pixels != MAP_FAILED) {
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<std::int32_t>(made->size()));
    // 0xAARRGGBB in the machine's byte order is what ARGB8888 means.
    made->buffer = wl_shm_pool_create_buffer(pool, 0, picture.width, picture.height,
                                             picture.width * 4, WL_SHM_FORMAT_ARGB8888);
    wl_shm_pool_destroy(pool);
    wl_buffer_add_listener(made->buffer, &buffer_events, made.get());
  }
  close(fd);
  if (made->pixels == MAP_FAILED) return nullptr;
  return made;
}

// The band on one output: its surface, and the buffers it shows in turn.
struct band {
  wl_surface* surface = nullptr;
  zwlr_layer_surface_v1* layer = nullptr;
  std::unique_ptr<shm_buffer> buffers[buffers_per_band];
  shm_buffer* shown = nullptr;  // the buffer to show; attached once configured
  std::uint32_t height = 0;     // asked for, in the surface's units
  std::int32_t scale = 1;
  bool configured = false;
  bool closed = false;

  ~band() {
    forget(layer, zwlr_layer_surface_v1_destroy);
    forget(surface, wl_surface_destroy);
  }

  // Shows the buffer that is to be shown, once the compositor has said how
  // the surface may look.
  void present() {
    if (!configured || !shown) return;
    if (wl_surface_get_version(surface) >= WL_SURFACE_SET_BUFFER_SCALE_SINCE_VERSION) {
      wl_surface_set_buffer_scale(surface, scale);
    }
    wl_surface_attach(surface, shown->buffer, 0, 0);
    wl_surface_damage(surface, 0, 0, INT32_MAX, INT32_MAX);
    shown->busy = true;
    wl_surface_commit(surface);
  }
};

const zwlr_layer_surface_v1_listener layer_events{
    .configure =
        [](void* data, zwlr_layer_surface_v1* layer, std::uint32_t serial, std::uint32_t,
           std::uint32_t) {
          auto* shown = static_cast<band*>(data);
          zwlr_layer_surface_v1_ack_configure(layer, serial);
          shown->configured = true;
          shown->present();
        },
    .closed = [](void* data, zwlr_layer_surface_v1*) { static_cast<band*>(data)->closed = true; },
};

// A monitor, as a wl_output describes it, and the band shown on it.
struct output {
  std::uint32_t name = 0;  // the global's, to know which one goes
  wl_output* proxy = nullptr;
  zxdg_output_v1* placed = nullptr;  // where the output stands among the others
  int x = 0;
  int y = 0;
  int mode_width = 0;
  int mode_height = 0;
  bool turned = false;  // a quarter turn: the mode's width runs down the screen
  std::int32_t scale = 1;
  bool described = false;  // its mode is known
  std::unique_ptr<band> shown;

  monitor_area area() const {
    return turned ? monitor_area{x, y, mode_height, mode_width}
                  : monitor_area{x, y, mode_width, mode_height};
  }

  ~output() {
    shown.reset();
    forget(placed, zxdg_output_v1_destroy);
    forget(proxy, wl_output_destroy);
  }
};

const wl_output_listener output_events{
    .geometry =
        [](void* data, wl_output*, std::int32_t x, std::int32_t y, std::int32_t, std::int32_t,
           std::int32_t, const char*, const char*, std::int32_t transform) {
          auto* monitor = static_cast<output*>(data);
          if (!monitor->placed) {
            monitor->x = x;
            monitor->y = y;
          }
          monitor->turned = transform % 2 == 1;
        },
    .mode =
        [](void* data, wl_output*, std::uint32_t flags, std::int32_t width, std::int32_t height,
           std::int32_t) {
          if (!(flags & WL_OUTPUT_MODE_CURRENT)) return;
          auto* monitor = static_cast<output*>(data);
          monitor->mode_width = width;
          monitor->mode_height = height;
          monitor->described = true;
        },
    .done = [](void*, wl_output*) {},
    .scale = [](void* data, wl_output*,
                std::int32_t factor) { static_cast<output*>(data)->scale = std::max(factor, 1); },
    .name = [](void*, wl_output*, const char*) {},
    .description = [](void*, wl_output*, const char*) {},
};

// wlroots says 0, 0 for every output's place in wl_output's geometry; the
// xdg-output protocol tells the place in the desktop's layout.
const zxdg_output_v1_listener placement_events{
    .logical_position =
        [](void* data, zxdg_output_v1*, std::int32_t x, std::int32_t y) {
          auto* monitor = static_cast<output*>(data);
          monitor->x = x;
          monitor->y = y;
        },
    .logical_size = [](void*, zxdg_output_v1*, std::int32_t, std::int32_t) {},
    .done = [](void*, zxdg_output_v1*) {},
    .name = [](void*, zxdg_output_v1*, const char*) {},
    .description = [](void*, zxdg_output_v1*, const char*) {},
};

class layer_shell_overlay final : public overlay_display {
 public:
  explicit layer_shell_overlay(wl_display* display) : display_{display} {
    static const wl_registry_listener registry_events{
        .global =
            [](void* data, wl_registry* registry, std::uint32_t name, const char* interface,
               std::uint32_t version) {
              static_cast<layer_shell_overlay*>(data)->add_global(registry, name, interface,
                                                                  version);
            },
        .global_remove =
            [](void* data, wl_registry*, std::uint32_t name) {
              static_cast<layer_shell_overlay*>(data)->remove_global(name);
            },
    };
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, &registry_events, this);
  }

  ~layer_shell_overlay() override {
    outputs_.clear();
    forget(placements_, zxdg_output_manager_v1_destroy);
    forget(registry_, wl_registry_destroy);
    forget(shm_, wl_shm_destroy);
    forget(compositor_, wl_compositor_destroy);
    // Its destroy request came with version 3; the connection ends here anyway.
    if (layer_shell_) wl_proxy_destroy(reinterpret_cast<wl_proxy*>(layer_shell_));
    wl_display_flush(display_);
    wl_display_disconnect(display_);
  }

  // Lists the globals and has the outputs describe themselves, waiting no
  // longer than open_wait in all. False where the compositor lacks what the
  // band needs or does not answer in time.
  bool opened() {
    const auto deadline = steady::now() + open_wait;
    if (!sync(deadline) || !compositor_ || !shm_ || !layer_shell_ || outputs_.empty()) return false;
    return sync(deadline) && !monitors().empty();
  }

  std::string_view route() const override { return "wlr-layer-shell overlay layer"; }

  std::vector<monitor_area> monitors() override {
    std::vector<monitor_area> areas;
    if (ended_) return areas;
    for (const output& monitor : outputs_) {
      if (monitor.described) areas.push_back(monitor.area());
    }
    return areas;
  }

  bool show(const std::vector<overlay_picture>& pictures) override {
    if (ended_) return false;
    auto picture = pictures.begin();
    for (output& monitor : outputs_) {
      if (!monitor.described) continue;
      if (picture == pictures.end()) {
        monitor.shown.reset();
      } else if (!show_on(monitor, *picture++)) {
        return end();
      }
    }
    return flush();
  }

  void hide() override {
    if (ended_) return;
    for (output& monitor : outputs_) monitor.shown.reset();
    flush();
  }

  int descriptor() const override { return ended_ ? -1 : wl_display_get_fd(display_); }

  bool handle_events() override {
    if (ended_ || !read_and_dispatch(0)) return end();
    // Closed with its output gone for a moment, or for a reason of the
    // compositor's own: the band goes, and the next show makes it again.
    for (output& monitor : outputs_) {
      if (monitor.shown && monitor.shown->closed) monitor.shown.reset();
    }
    return flush();
  }

 private:
  bool end() {
    ended_ = true;
    return false;
  }

  // Sends what is waiting; a full socket keeps the rest for later. A
  // compositor that has gone is seen here too when there was nothing to send.
  bool flush() {
    if (wl_display_flush(display_) < 0 && errno != EAGAIN) return end();
    pollfd watched{wl_display_get_fd(display_), 0, 0};
    if (poll(&watched, 1, 0) > 0 && (watched.revents & (POLLHUP | POLLERR))) return end();
    return true;
  }

  // Reads what the compositor sent, waiting at most timeout_ms for it, and
  // runs the listeners. False once the connection has failed.
  bool read_and_dispatch(int timeout_ms) {
    while (wl_display_prepare_read(display_) != 0) {
      if (wl_display_dispatch_pending(display_) < 0) return false;
    }
    pollfd watched{wl_display_get_fd(display_), POLLIN, 0};
    if (poll(&watched, 1, timeout_ms) > 0) {
      if (wl_display_read_events(display_) < 0) return false;
    } else {
      wl_display_cancel_read(display_);
    }
    return wl_display_dispatch_pending(display_) >= 0 && wl_display_get_error(display_) == 0;
  }

  // A roundtrip with a deadline: everything sent so far has been answered.
  bool sync(steady::time_point deadline) {
    bool answered = false;
    static const wl_callback_listener done{
        .done = [](void* data, wl_callback*, std::uint32_t) { *static_cast<bool*>(data) = true; }};
    wl_callback* callback = wl_display_sync(display_);
    wl_callback_add_listener(callback, &done, &answered);
    while (!answered && flush()) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - steady::now());
      if (left.count() <= 0 || !read_and_dispatch(static_cast<int>(left.count()))) break;
    }
    wl_callback_destroy(callback);
    return answered;
  }

  bool show_on(output& monitor, const overlay_picture& picture) {
    if (picture.width <= 0 || picture.height <= 0) return true;
    if (!monitor.shown) monitor.shown = make_band(monitor);
    band& shown = *monitor.shown;
    shm_buffer* target = buffer_for(shown, picture);
    if (!target) return false;
    for (int row = 0; row < picture.height; ++row) {
      std::memcpy(static_cast<std::uint8_t*>(target->pixels) + std::size_t(row) * picture.width * 4,
                  picture.pixels + std::size_t(row) * picture.stride_bytes,
                  std::size_t(picture.width) * 4);
    }
    shown.shown = target;
    // A buffer's size must be a whole number of the surface's units.
    const bool whole = picture.width % monitor.scale == 0 && picture.height % monitor.scale == 0;
    const std::int32_t scale = whole ? monitor.scale : 1;
    const auto height = static_cast<std::uint32_t>(picture.height / scale);
    if (height != shown.height) {
      // A new size waits for the compositor's word on it before it is shown.
      shown.height = height;
      shown.configured = false;
      zwlr_layer_surface_v1_set_size(shown.layer, 0, height);
      wl_surface_commit(shown.surface);
    }
    shown.scale = scale;
    shown.present();
    return true;
  }

  // A band across the top of the monitor, above fullscreen windows, that
  // pushes no window aside, takes no keyboard focus and lets touches and
  // clicks through. Its first commit carries no buffer: the compositor answers
  // it with the configure after which buffers may be shown.
  std::unique_ptr<band> make_band(output& monitor) {
    auto made = std::make_unique<band>();
    made->surface = wl_compositor_create_surface(compositor_);
    wl_region* nowhere = wl_compositor_create_region(compositor_);
    wl_surface_set_input_region(made->surface, nowhere);
    wl_region_destroy(nowhere);
    made->layer = zwlr_layer_shell_v1_get_layer_surface(
        layer_shell_, made->surface, monitor.proxy, ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "vrnskdm");
    zwlr_layer_surface_v1_add_listener(made->layer, &layer_events, made.get());
    zwlr_layer_surface_v1_set_anchor(made->layer, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP |
                                                      ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT |
                                                      ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
    zwlr_layer_surface_v1_set_exclusive_zone(made->layer, -1);
    zwlr_layer_surface_v1_set_keyboard_interactivity(made->layer, 0);
    return made;
  }

  // A buffer of the picture's size that the compositor is done with, made
  // anew where there is none; where the compositor holds them all, the one
  // not shown last.
  shm_buffer* buffer_for(band& shown, const overlay_picture& picture) {
    std::unique_ptr<shm_buffer>* chosen = nullptr;
    for (auto& buffer : shown.buffers) {
      if (!buffer || !buffer->busy) {
        chosen = &buffer;
        break;
      }
      if (buffer.get() != shown.shown) chosen = &buffer;
    }
    auto& buffer = *chosen;
    if (!buffer || buffer->width != picture.width || buffer->height != picture.height) {
      if (buffer.get() == shown.shown) shown.shown = nullptr;
      buffer = make_buffer(shm_, picture);
    }
    return buffer.get();
  }

  void add_global(wl_registry* registry, std::uint32_t name, const char* interface,
                  std::uint32_t version) {
    const std::string_view offered = interface;
    auto bind = [&](const wl_interface& kind, std::uint32_t highest) {
      return wl_registry_bind(registry, name, &kind, std::min(version, highest));
    };
    if (offered == wl_compositor_interface.name) {
      compositor_ = static_cast<wl_compositor*>(bind(wl_compositor_interface, 4));
    } else if (offered == wl_shm_interface.name) {
      shm_ = static_cast<wl_shm*>(bind(wl_shm_interface, 1));
    } else if (offered == zwlr_layer_shell_v1_interface.name) {
      layer_shell_ = static_cast<zwlr_layer_shell_v1*>(bind(zwlr_layer_shell_v1_interface, 4));
    } else if (offered == wl_output_interface.name) {
      output& added = outputs_.emplace_back();
      added.name = name;
      added.proxy = static_cast<wl_output*>(bind(wl_output_interface, 2));
      wl_output_add_listener(added.proxy, &output_events, &added);
      place(added);
    } else if (offered == zxdg_output_manager_v1_interface.name) {
      placements_ = static_cast<zxdg_output_manager_v1*>(bind(zxdg_output_manager_v1_interface, 3));
      for (output& monitor : outputs_) place(monitor);
    }
  }

  void place(output& monitor) {
    if (!placements_ || monitor.placed) return;
    monitor.placed = zxdg_output_manager_v1_get_xdg_output(placements_, monitor.proxy);
    zxdg_output_v1_add_listener(monitor.placed, &placement_events, &monitor);
  }

  void remove_global(std::uint32_t name) {
    outputs_.remove_if([name](const output& monitor) { return monitor.name == name; });
  }

  wl_display* display_;
  wl_registry* registry_ = nullptr;
  wl_compositor* compositor_ = nullptr;
  wl_shm* shm_ = nullptr;
  zwlr_layer_shell_v1* layer_shell_ = nullptr;
  zxdg_output_manager_v1* placements_ = nullptr;
  std::list<output> outputs_;  // listeners hold their addresses
  bool ended_ = false;
};

}  // namespace

std::unique_ptr<overlay_display> open_layer_shell_overlay() {
  // Without WAYLAND_DISPLAY libwayland would try "wayland-0", which on an X11
  // desktop may be some other session's compositor.
  const char* named = std::getenv("WAYLAND_DISPLAY");
  if (!named || !*named) return nullptr;
  wl_display* display = wl_display_connect(nullptr);
  if (!display) return nullptr;
  auto overlay = std::make_unique<layer_shell_overlay>(display);
  if (!overlay->opened()) return nullptr;
  return overlay;
}

}  // namespace vrnskdm::platform
