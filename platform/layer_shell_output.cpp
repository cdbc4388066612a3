#include "layer_shell_output.h"

#include <algorithm>

namespace vrnskdm::platform {

std::uint32_t wayland_output::band_scale(bool viewport) const {
  if (viewport && preferred_scale > 0) return preferred_scale;
  return static_cast<std::uint32_t>(scale) * whole_scale;
}

monitor_area wayland_output::area(bool viewport) const {
  const int width = turned ? mode_height : mode_width;
  const int height = turned ? mode_width : mode_height;
  const int units_wide = logical_width > 0 ? logical_width : (width + scale - 1) / scale;
  const int units_high = logical_height > 0 ? logical_height : (height + scale - 1) / scale;
  const std::uint32_t drawn = band_scale(viewport);
  return {x, y, at_scale(units_wide, drawn), at_scale(units_high, drawn)};
}

wayland_output::~wayland_output() {
  band.reset();
  forget(placed, zxdg_output_v1_destroy);
  forget(proxy, wl_output_destroy);
}

extern const wl_output_listener output_events{
    .geometry =
        [](void* data, wl_output*, std::int32_t x, std::int32_t y, std::int32_t, std::int32_t,
           std::int32_t, const char*, const char*, std::int32_t transform) {
          auto* monitor = static_cast<wayland_output*>(data);
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
          auto* monitor = static_cast<wayland_output*>(data);
          monitor->mode_width = width;
          monitor->mode_height = height;
          monitor->described = true;
        },
    .done = [](void*, wl_output*) {},
    .scale = [](void* data, wl_output*,
                std::int32_t factor) { static_cast<wayland_output*>(data)->scale = std::max(factor, 1); },
    .name = [](void*, wl_output*, const char*) {},
    .description = [](void*, wl_output*, const char*) {},
};

// wlroots says 0, 0 for every output's place in wl_output's geometry; the
// xdg-output protocol tells the place in the desktop's layout, and the size
// in the desktop's units.
extern const zxdg_output_v1_listener placement_events{
    .logical_position =
        [](void* data, zxdg_output_v1*, std::int32_t x, std::int32_t y) {
          auto* monitor = static_cast<wayland_output*>(data);
          monitor->x = x;
          monitor->y = y;
        },
    .logical_size =
        [](void* data, zxdg_output_v1*, std::int32_t width, std::int32_t height) {
          auto* monitor = static_cast<wayland_output*>(data);
          monitor->logical_width = width;
          monitor->logical_height = height;
        },
    .done = [](void*, zxdg_output_v1*) {},
    .name = [](void*, zxdg_output_v1*, const char*) {},
    .description = [](void*, zxdg_output_v1*, const char*) {},
};

}  // namespace vrnskdm::platform
