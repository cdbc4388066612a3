#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/overlay.h"
#include "support/private_x_server.h"
#include "support/scoped_variable.h"

namespace vrnskdm::platform {
namespace {

using testing::private_x_server;
using testing::scoped_variable;

constexpr std::uint32_t red = 0xffff0101;
constexpr std::uint32_t green = 0xff01ff00;

// The pixel the X server shows at a place of its screen, as 0xRRGGBB.
std::uint32_t pixel_on_screen(xcb_connection_t* connection, int x, int y) {
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
  xcb_get_image_reply_t* image = xcb_get_image_reply(
      connection,
      xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root,
                    static_cast<std::int16_t>(x), static_cast<std::int16_t>(y), 1, 1, ~0u),
      nullptr);
  std::uint32_t pixel = 0;
  if (image != nullptr) {
    std::memcpy(&pixel, xcb_get_image_data(image), sizeof pixel);
    std::free(image);
  }
  return pixel & 0xffffff;
}

// Whether the screen comes to show the colour at the place, or not to show it,
// within a second: the pictures reach the server from a thread of the
// overlay's own.
bool comes_to(bool show, const std::string& display, int x, int y, std::uint32_t colour) {
  xcb_connection_t* connection = xcb_connect(display.c_str(), nullptr);
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds{1};
  bool seen = false;
  while ((seen = pixel_on_screen(connection, x, y) == (colour & 0xffffff)) != show &&
         std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds{10});
  }
  xcb_disconnect(connection);
  return seen == show;
}

// A band taller than one request may carry, in rows farther apart than the
// picture is wide, red above and green below: it must reach the screen row by
// row, and go when it is hidden. A server that hangs, then goes, ends it.
TEST(X11Overlay, PutsTheBandOnTheScreenAndEndsWhenTheServerGoes) {
  private_x_server server;
  const scoped_variable display{"DISPLAY", server.display()};
  const std::unique_ptr<overlay_display> overlay = open_x11_overlay();
  ASSERT_NE(overlay, nullptr);
  EXPECT_EQ(overlay->route(), "X11 override-redirect window");
  const std::vector<monitor_area> monitors = overlay->monitors();
  ASSERT_EQ(monitors.size(), 1u);
  EXPECT_EQ(monitors[0].width, 640);
  EXPECT_EQ(monitors[0].height, 480);

  constexpr int width = 640, height = 160, stride = width + 3;
  std::vector<std::uint32_t> pixels(stride * height, red);
  for (int row = height / 2; row < height; ++row) {
    std::fill_n(pixels.begin() + row * stride, width, green);
  }
  const std::vector<overlay_picture> band{
      {width, height, stride * 4, reinterpret_cast<const std::uint8_t*>(pixels.data())}};
  ASSERT_TRUE(overlay->show(band));
  EXPECT_TRUE(overlay->handle_events());
  EXPECT_TRUE(comes_to(true, server.display(), 5, 0, red));
  EXPECT_TRUE(comes_to(true, server.display(), 5, height / 2, green));
  EXPECT_TRUE(comes_to(true, server.display(), 635, height - 1, green));
  EXPECT_TRUE(comes_to(false, server.display(), 5, height, green));
  overlay->hide();
  EXPECT_TRUE(comes_to(false, server.display(), 5, 0, red));
  EXPECT_GE(overlay->descriptor(), 0);

  // A server that hangs holds none of the calls, however much is shown.
  server.freeze();
  const auto frozen_at = std::chrono::steady_clock::now();
  for (int shown = 0; shown < 5; ++shown) EXPECT_TRUE(overlay->show(band));
  EXPECT_TRUE(overlay->handle_events());
  overlay->hide();
  EXPECT_LT(std::chrono::steady_clock::now() - frozen_at, std::chrono::seconds{1});

  server.end();
  EXPECT_FALSE(overlay->handle_events());
  EXPECT_FALSE(overlay->show(band));
  EXPECT_EQ(overlay->descriptor(), -1);
  EXPECT_TRUE(overlay->monitors().empty());
  overlay->hide();
}

TEST(X11Overlay, NothingWhereNoServerAnswers) {
  const scoped_variable display{"DISPLAY", private_x_server::nowhere()};
  EXPECT_EQ(open_x11_overlay(), nullptr);
}

}  // namespace
}  // namespace vrnskdm::platform
