// Shows the overlay's band on the Wayland display that WAYLAND_DISPLAY names,
// for SECONDS seconds (10 unless given): red, with a white square at its left
// end, drawn again every second as the countdown draws it. Says what the
// display offered and when the overlay ended. For trying the route by hand:
//
//   WAYLAND_DISPLAY=wayland-1 build/dev/tests/platform/show_overlay [SECONDS]
//
// Exits with 0 when the band was shown to the end, 1 when the overlay ended.

#include <poll.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/overlay.h"

using namespace vrnskdm::platform;

int main(int argc, char** argv) {
  const auto seconds = std::chrono::seconds{argc > 1 ? std::atoi(argv[1]) : 10};
  const auto overlay = open_layer_shell_overlay();
  if (!overlay) {
    std::puts("no overlay: no display, or no layer shell on it");
    return 1;
  }
  std::printf("route: %.*s\n", int(overlay->route().size()), overlay->route().data());
  const auto end = std::chrono::steady_clock::now() + seconds;
  auto next_frame = std::chrono::steady_clock::now();
  std::vector<std::vector<std::uint32_t>> frames;
  while (std::chrono::steady_clock::now() < end) {
    if (std::chrono::steady_clock::now() >= next_frame) {
      next_frame += std::chrono::seconds{1};
      std::vector<overlay_picture> pictures;
      frames.clear();
      for (const monitor_area& monitor : overlay->monitors()) {
        std::printf("monitor %d,%d %dx%d\n", monitor.x, monitor.y, monitor.width, monitor.height);
        const int height = monitor.height / 8;
        auto& pixels = frames.emplace_back(std::size_t(monitor.width) * height, 0xffff0101u);
        for (int y = 0; y < height / 2; ++y) {
          for (int x = 0; x < height / 2; ++x)
            pixels[std::size_t(y + height / 4) * monitor.width + x + height / 4] = 0xffffffffu;
        }
        pictures.push_back({monitor.width, height, monitor.width * 4,
                            reinterpret_cast<const std::uint8_t*>(pixels.data())});
      }
      if (!overlay->show(pictures)) {
        std::puts("show: the overlay has ended");
        return 1;
      }
    }
    pollfd watched{overlay->descriptor(), POLLIN, 0};
    poll(&watched, 1, 100);
    if (!overlay->handle_events()) {
      std::printf("handle_events: the overlay has ended; descriptor %d\n", overlay->descriptor());
      return 1;
    }
  }
  overlay->hide();
  return 0;
}
