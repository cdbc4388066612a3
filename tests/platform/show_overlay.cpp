// Shows the overlay's red band for SECONDS seconds (10 unless given) on the
// Wayland display that WAYLAND_DISPLAY names, drawn again every second as the
// countdown draws it; exits with 1 when there is no overlay or it ended. For
// trying the route by hand (screenshots with grim):
//
//   WAYLAND_DISPLAY=wayland-1 build/dev/tests/show_overlay [SECONDS]

#include <poll.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/overlay.h"

using namespace vrnskdm::platform;
using std::chrono::steady_clock;

int main(int argc, char** argv) {
  const auto overlay = open_layer_shell_overlay();
  if (!overlay) return std::puts("no overlay: no display, or no layer shell on it"), 1;
  const auto end = steady_clock::now() + std::chrono::seconds{argc > 1 ? std::atoi(argv[1]) : 10};
  for (auto next_frame = steady_clock::now(); steady_clock::now() < end;) {
    if (steady_clock::now() >= next_frame) {
      next_frame += std::chrono::seconds{1};
      std::vector<std::vector<std::uint32_t>> frames;
      std::vector<overlay_picture> pictures;
      for (const monitor_area& monitor : overlay->monitors()) {
        std::printf("monitor %d,%d %dx%d\n", monitor.x, monitor.y, monitor.width, monitor.height);
        const int height = monitor.height / 8;
        const auto& red = frames.emplace_back(std::size_t(monitor.width) * height, 0xffff0101u);
        pictures.push_back({monitor.width, height, monitor.width * 4,
                            reinterpret_cast<const std::uint8_t*>(red.data())});
      }
      if (!overlay->show(pictures)) return std::puts("show: the overlay has ended"), 1;
    }
    pollfd watched{overlay->descriptor(), POLLIN, 0};
    poll(&watched, 1, 100);
    if (!overlay->handle_events()) return std::puts("handle_events: the overlay has ended"), 1;
  }
  overlay->hide();
  return 0;
}
