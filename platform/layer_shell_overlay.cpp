// The overlay on Wayland: a layer surface on the overlay layer of each output,
// which wlroots-based compositors, KWin and others draw above fullscreen
// windows. Everything after the opening roundtrip is sent without waiting and
// read only when handle_events is called, so a compositor that hangs holds up
// nothing; one that goes away or refuses ends the overlay. A band it closes is
// made again at the next show.
//
// A band is sized in the desktop's units, the ones the compositor lays its
// outputs out in, and drawn at the scale the compositor shows it at: the
// fractional one it prefers for the band's surface where it tells one, else
// its output's whole scale. monitors() asks for the pictures in those pixels.

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <list>
#include <optional>
#include <vector>

#include "layer_shell_band.h"
#include "layer_shell_connection.h"
#include "layer_shell_output.h"
#include "overlay.h"

namespace vrnskdm::platform {

namespace {

using steady = std::chrono::steady_clock;

// How long opening waits for the compositor to list its globals and describe
// its outputs: it answers a healthy client within milliseconds, and opening
// happens once, at the first warning.
constexpr std::chrono::milliseconds open_wait{500};

// How long a show waits for the compositor to take in what is still on its
// way: one held still for a moment (a full socket) gets the band later.
constexpr std::chrono::milliseconds send_patience{20};

// A picture kept, while the compositor is held still, for when it takes
// requests again.
struct kept_picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;

  overlay_picture borrowed() const {
    return {width, height, width * 4, reinterpret_cast<const std::uint8_t*>(pixels.data())};
  }
};

class layer_shell_overlay final : public overlay_display {
 public:
  explicit layer_shell_overlay(wl_display* display) : connection_{display} {
    static const wl_registry_listener registry_events{
        .global =
            [](void* data, wl_registry* registry, std::uint32_t name, const char* interface,
               std::uint32_t version) {
              auto* overlay = static_cast<layer_shell_overlay*>(data);
              overlay->connection_.keep(
                  [&] { overlay->add_global(registry, name, interface, version); });
            },
        .global_remove =
            [](void* data, wl_registry*, std::uint32_t name) {
              static_cast<layer_shell_overlay*>(data)->remove_global(name);
            },
    };
    registry_ = wl_display_get_registry(connection_.display());
    wl_registry_add_listener(registry_, &registry_events, this);
  }

  ~layer_shell_overlay() override {
    outputs_.clear();
    forget(placements_, zxdg_output_manager_v1_destroy);
    forget(registry_, wl_registry_destroy);
    forget(makers_.fractions, wp_fractional_scale_manager_v1_destroy);
    forget(makers_.viewporter, wp_viewporter_destroy);
    forget(makers_.shm, wl_shm_destroy);
    forget(makers_.compositor, wl_compositor_destroy);
    // Its destroy request came with version 3; the connection ends here anyway.
    if (makers_.layer_shell) wl_proxy_destroy(reinterpret_cast<wl_proxy*>(makers_.layer_shell));
  }

  // Lists the globals and has the outputs describe themselves, waiting no
  // longer than open_wait in all. False where the compositor lacks what the
  // band needs or does not answer in time.
  bool opened() {
    const auto deadline = steady::now() + open_wait;
    if (!connection_.sync(deadline) || !makers_.compositor || !makers_.shm ||
        !makers_.layer_shell || outputs_.empty()) {
      return false;
    }
    return connection_.sync(deadline) && !monitors().empty();
  }

  std::string_view route() const override { return "wlr-layer-shell overlay layer"; }

  std::vector<monitor_area> monitors() override {
    std::vector<monitor_area> areas;
    if (connection_.ended()) return areas;
    try {
      for (const wayland_output& monitor : outputs_) {
        if (monitor.described) areas.push_back(monitor.area(makers_.viewporter != nullptr));
      }
    } catch (const std::exception&) {
      connection_.end();  // no memory even for the list
      areas.clear();
    }
    return areas;
  }

  bool show(const std::vector<overlay_picture>& pictures) override {
    if (connection_.ended()) return false;
    try {
      if (!connection_.drained(send_patience)) return keep(pictures);
      if (!show_now(pictures)) return connection_.end();
      return connection_.flush();
    } catch (const std::exception&) {
      return connection_.end();  // no memory for the band
    }
  }

  void hide() override { show({}); }

  int descriptor() const override { return connection_.descriptor(); }

  bool handle_events() override {
    try {
      if (!connection_.read_and_dispatch(0)) return false;
      if (!connection_.drained(std::chrono::milliseconds{0})) return connection_.flush();
      if (waiting_) {
        const std::vector<kept_picture> kept = std::move(*waiting_);
        waiting_.reset();
        std::vector<overlay_picture> pictures;
        for (const kept_picture& picture : kept) pictures.push_back(picture.borrowed());
        if (!show_now(pictures)) return connection_.end();
      }
      // Closed with its output gone for a moment, or for a reason of the
      // compositor's own: the band goes, and the next show makes it again.
      for (wayland_output& monitor : outputs_) {
        if (monitor.band && monitor.band->closed()) monitor.band.reset();
      }
      return connection_.flush();
    } catch (const std::exception&) {
      return connection_.end();
    }
  }

 private:
  // The pictures, in place of any kept before, for handle_events to show once
  // the compositor takes requests again; none to take the bands away.
  bool keep(const std::vector<overlay_picture>& pictures) {
    std::vector<kept_picture> kept;
    for (const overlay_picture& picture : pictures) {
      kept_picture& copy = kept.emplace_back();
      copy.width = picture.width;
      copy.height = picture.height;
      if (picture.width <= 0 || picture.height <= 0) continue;
      copy.pixels.resize(std::size_t(picture.width) * picture.height);
      for (int row = 0; row < picture.height; ++row) {
        std::memcpy(copy.pixels.data() + std::size_t(row) * picture.width,
                    picture.pixels + std::size_t(row) * picture.stride_bytes,
                    std::size_t(picture.width) * 4);
      }
    }
    waiting_ = std::move(kept);
    return true;
  }

  // pictures[i] on the i-th described output; those past the last picture
  // show none. False where shared memory cannot be had.
  bool show_now(const std::vector<overlay_picture>& pictures) {
    waiting_.reset();
    const bool viewport = makers_.viewporter != nullptr;
    auto picture = pictures.begin();
    for (wayland_output& monitor : outputs_) {
      if (!monitor.described) continue;
      if (picture == pictures.end()) {
        monitor.band.reset();
        continue;
      }
      if (!monitor.band) {
        monitor.band = std::make_unique<layer_shell_band>(makers_, monitor.proxy,
                                                          &monitor.preferred_scale);
      }
      if (!monitor.band->show(*picture++, monitor.band_scale(viewport))) return false;
    }
    return true;
  }

  void add_global(wl_registry* registry, std::uint32_t name, const char* interface,
                  std::uint32_t version) {
    const std::string_view offered = interface;
    auto bind = [&](const wl_interface& kind, std::uint32_t highest) {
      return wl_registry_bind(registry, name, &kind, std::min(version, highest));
    };
    if (offered == wl_compositor_interface.name) {
      makers_.compositor = static_cast<wl_compositor*>(bind(wl_compositor_interface, 4));
    } else if (offered == wl_shm_interface.name) {
      makers_.shm = static_cast<wl_shm*>(bind(wl_shm_interface, 1));
    } else if (offered == zwlr_layer_shell_v1_interface.name) {
      makers_.layer_shell =
          static_cast<zwlr_layer_shell_v1*>(bind(zwlr_layer_shell_v1_interface, 4));
    } else if (offered == wp_viewporter_interface.name) {
      makers_.viewporter = static_cast<wp_viewporter*>(bind(wp_viewporter_interface, 1));
    } else if (offered == wp_fractional_scale_manager_v1_interface.name) {
      makers_.fractions = static_cast<wp_fractional_scale_manager_v1*>(
          bind(wp_fractional_scale_manager_v1_interface, 1));
    } else if (offered == wl_output_interface.name) {
      wayland_output& added = outputs_.emplace_back();
      added.name = name;
      added.proxy = static_cast<wl_output*>(bind(wl_output_interface, 2));
      wl_output_add_listener(added.proxy, &output_events, &added);
      place(added);
    } else if (offered == zxdg_output_manager_v1_interface.name) {
      placements_ = static_cast<zxdg_output_manager_v1*>(bind(zxdg_output_manager_v1_interface, 3));
      for (wayland_output& monitor : outputs_) place(monitor);
    }
  }

  void place(wayland_output& monitor) {
    if (!placements_ || monitor.placed) return;
    monitor.placed = zxdg_output_manager_v1_get_xdg_output(placements_, monitor.proxy);
    zxdg_output_v1_add_listener(monitor.placed, &placement_events, &monitor);
  }

  void remove_global(std::uint32_t name) {
    outputs_.remove_if([name](const wayland_output& monitor) { return monitor.name == name; });
  }

  layer_shell_connection connection_;  // first made, last gone
  wl_registry* registry_ = nullptr;
  band_makers makers_;
  zxdg_output_manager_v1* placements_ = nullptr;
  std::list<wayland_output> outputs_;  // listeners hold their addresses
  // What a show or hide left for when the compositor takes requests again.
  std::optional<std::vector<kept_picture>> waiting_;
};

}  // namespace

std::unique_ptr<overlay_display> open_layer_shell_overlay() {
  // Without WAYLAND_DISPLAY libwayland would try "wayland-0", which on an X11
  // desktop may be some other session's compositor.
  const char* named = std::getenv("WAYLAND_DISPLAY");
  if (!named || !*named) return nullptr;
  wl_display* display = wl_display_connect(nullptr);
  if (!display) return nullptr;
  std::unique_ptr<layer_shell_overlay> overlay;
  try {
    overlay = std::make_unique<layer_shell_overlay>(display);
  } catch (...) {
    wl_display_disconnect(display);
    throw;
  }
  if (!overlay->opened()) return nullptr;
  return overlay;
}

}  // namespace vrnskdm::platform
