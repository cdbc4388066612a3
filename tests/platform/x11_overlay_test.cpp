#include <gtest/gtest.h>
#include <poll.h>
#include <xcb/randr.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/x11_overlay.h"
#include "support/private_x_server.h"
#include "support/scoped_variable.h"

namespace vrnskdm::platform {
namespace {

using testing::private_x_server;
using testing::scoped_variable;

constexpr std::uint32_t red = 0xffff0101;
constexpr std::uint32_t green = 0xff01ff00;
constexpr std::uint32_t blue = 0xff0000fe;

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

// Sets a RandR monitor, as `xrandr --setmonitor` does, in place of the screen's
// own where it takes over the server's output. By hand: libxcb-randr 1.15's
// xcb_randr_set_monitor sends an iovec it never set.
void set_monitor(xcb_connection_t* connection, std::string_view name, monitor_area area,
                 bool over_the_output) {
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
  const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom{
      xcb_intern_atom_reply(connection,
                            xcb_intern_atom(connection, 0, name.size(), name.data()), nullptr),
      &std::free};
  const std::unique_ptr<xcb_randr_get_screen_resources_current_reply_t, decltype(&std::free)>
      resources{xcb_randr_get_screen_resources_current_reply(
                    connection, xcb_randr_get_screen_resources_current(connection, screen->root),
                    nullptr),
                &std::free};
  struct {
    std::uint32_t header = 0;
    xcb_window_t window = 0;
    xcb_randr_monitor_info_t info{};
    xcb_randr_output_t output = 0;
  } request;
  request.window = screen->root;
  request.info = {atom->atom, 0, 0, over_the_output ? std::uint16_t{1} : std::uint16_t{0},
                  static_cast<std::int16_t>(area.x), static_cast<std::int16_t>(area.y),
                  static_cast<std::uint16_t>(area.width), static_cast<std::uint16_t>(area.height),
                  100, 100};
  request.output = xcb_randr_get_screen_resources_current_outputs(resources.get())[0];
  iovec parts[3] = {{}, {}, {&request, sizeof request - (over_the_output ? 0 : 4)}};
  xcb_protocol_request_t set{1, &xcb_randr_id, XCB_RANDR_SET_MONITOR, 1};
  std::free(xcb_request_check(
      connection, {xcb_send_request(connection, XCB_REQUEST_CHECKED, parts + 2, &set)}));
}

// Whether the overlay comes to know that many monitors within a second, its
// events taken as the window takes them: when its descriptor is readable.
bool comes_to_know(overlay_display& overlay, std::size_t monitors) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds{1};
  while (overlay.monitors().size() != monitors && std::chrono::steady_clock::now() < until) {
    pollfd readable{overlay.descriptor(), POLLIN, 0};
    if (poll(&readable, 1, 10) == 1) overlay.handle_events();
  }
  return overlay.monitors().size() == monitors;
}

// A band taller than one request may carry, in rows farther apart than the
// picture is wide, red above and green below: it must reach the screen row by
// row, and go when it is hidden. Monitors set anew while a band is sent are
// followed, a band on each; a window raised over the bands is covered again at
// the next show. A server that hangs past the bound, then goes, ends it.
TEST(X11Overlay, PutsTheBandOnTheScreenAndEndsWhenTheServerGoes) {
  private_x_server server;
  const scoped_variable display{"DISPLAY", server.display()};
  constexpr std::chrono::milliseconds patience{500};
  const std::unique_ptr<overlay_display> overlay = open_x11_overlay(patience);
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

  // Two monitors in place of the one: their change reaches the overlay's socket
  // and is read by xcb while the next band is written, before the window takes it.
  xcb_connection_t* other = xcb_connect(server.display().c_str(), nullptr);
  set_monitor(other, "left", {0, 0, 320, 480}, true);
  set_monitor(other, "right", {320, 0, 320, 480}, false);
  pollfd readable{overlay->descriptor(), POLLIN, 0};
  ASSERT_EQ(poll(&readable, 1, 1000), 1);
  ASSERT_TRUE(overlay->show(band));
  EXPECT_TRUE(comes_to(true, server.display(), 5, 0, red));
  ASSERT_TRUE(comes_to_know(*overlay, 2));
  EXPECT_EQ(overlay->monitors()[1].x, 320);
  const std::vector<std::uint32_t> reds(320 * 60, red), greens(320 * 60, green);
  const std::vector<overlay_picture> two{
      {320, 60, 320 * 4, reinterpret_cast<const std::uint8_t*>(reds.data())},
      {320, 60, 320 * 4, reinterpret_cast<const std::uint8_t*>(greens.data())}};
  ASSERT_TRUE(overlay->show(two));
  EXPECT_TRUE(comes_to(true, server.display(), 5, 0, red));
  EXPECT_TRUE(comes_to(true, server.display(), 325, 0, green));

  // A window raised over both.
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(other)).data;
  const xcb_window_t cover = xcb_generate_id(other);
  const std::uint32_t cover_look[] = {blue & 0xffffff, 1};
  xcb_create_window(other, XCB_COPY_FROM_PARENT, cover, screen->root, 0, 0, 640, 100, 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                    XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, cover_look);
  xcb_map_window(other, cover);
  xcb_flush(other);
  EXPECT_TRUE(comes_to(true, server.display(), 5, 0, blue));
  ASSERT_TRUE(overlay->show(two));
  EXPECT_TRUE(comes_to(true, server.display(), 5, 0, red));
  EXPECT_TRUE(comes_to(true, server.display(), 325, 0, green));
  xcb_disconnect(other);

  // A server that hangs holds none of the calls, however much is shown, until
  // a frame has waited past the bound: then the band has ended.
  server.freeze();
  const auto frozen_at = std::chrono::steady_clock::now();
  for (int shown = 0; shown < 5; ++shown) EXPECT_TRUE(overlay->show(band));
  EXPECT_TRUE(overlay->handle_events());
  overlay->hide();
  EXPECT_TRUE(overlay->show(band));
  EXPECT_LT(std::chrono::steady_clock::now() - frozen_at, patience);
  std::this_thread::sleep_for(patience * 2);  // the frame thread takes the band, and waits
  EXPECT_FALSE(overlay->show(band));

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
