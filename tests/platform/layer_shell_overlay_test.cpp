// The overlay's Wayland route against real compositors: sway offers the layer
// shell, weston does not. sway refuses to run as root, so where the tests do it
// runs as nobody; where a compositor is missing or does not come up, its tests
// are skipped with the reason.

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>
#include <vector>

#include "platform/overlay.h"
#include "support/child_process.h"
#include "support/scoped_variable.h"
#include "support/temp_folder.h"
#include "window/warning_overlay.h"

namespace vrnskdm {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::child_process;

// A headless compositor with a folder of its own to work in, and a runtime
// folder in it; socket() is the path of its display, empty when it did not
// come up within ten seconds.
class compositor {
 public:
  compositor(const std::string& program, const std::vector<std::string>& arguments) {
    const std::string run = folder_.file("run");
    fs::create_directory(run);
    fs::permissions(run, fs::perms::owner_all);
    fs::permissions(folder_.path(), fs::perms::all);
    // Without Xwayland, sway takes no X display that other tests might want. A
    // laptop's panel at twice the desktop's scale, whose eighth (225 pixels)
    // is no multiple of it.
    std::ofstream{folder_.file("sway.conf")}
        << "xwayland disable\noutput HEADLESS-1 resolution 2880x1800 scale 2\n";
    std::vector<std::string> argv{program};
    if (geteuid() == 0 && program.ends_with("sway")) {
      if (chown(run.c_str(), 65534, 65534) != 0) return;
      argv = {
          "/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--", program};
    }
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    if (!fs::exists(program)) return;
    process_ = std::make_unique<child_process>(
        argv,
        std::vector<std::string>{"XDG_RUNTIME_DIR=" + run, "WLR_BACKENDS=headless",
                                 "WLR_LIBINPUT_NO_DEVICES=1", "WLR_RENDERER=pixman", "HOME=" + run},
        folder_.file("compositor.log"), folder_.path());
    for (auto give_up = std::chrono::steady_clock::now() + 10s;
         std::chrono::steady_clock::now() < give_up; std::this_thread::sleep_for(50ms)) {
      for (const auto& entry : fs::directory_iterator(run)) {
        if (entry.is_socket() && entry.path().filename().string().starts_with("wayland-")) {
          socket_ = entry.path();
          return;
        }
      }
    }
  }

  const std::string& socket() const { return socket_; }
  std::string log() const { return process_ ? process_->output() : "not installed"; }

  // The red, 0 to 255, of the screen's pixel at x, y, as grim sees it; -1
  // where grim took no picture.
  int red_at(int x, int y) const {
    const std::string picture = folder_.file("pixel.ppm");
    child_process grim{{"/usr/bin/grim", "-g", std::to_string(x) + "," + std::to_string(y) + " 1x1",
                        "-t", "ppm", picture},
                       {"WAYLAND_DISPLAY=" + socket_},
                       folder_.file("grim.log")};
    while (!grim.has_ended()) std::this_thread::sleep_for(10ms);
    std::ifstream in{picture, std::ios::binary};
    const std::string bytes{std::istreambuf_iterator<char>{in}, {}};
    return bytes.size() >= 3 ? static_cast<unsigned char>(bytes[bytes.size() - 3]) : -1;
  }

  // What swaymsg answers to the arguments, without white space.
  std::string sway(const std::vector<std::string>& arguments) const {
    std::vector<std::string> argv{"/usr/bin/swaymsg", "-r"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const std::string answer = folder_.file("swaymsg.out");
    fs::remove(answer);
    std::string ipc;
    for (const auto& entry : fs::directory_iterator(folder_.file("run"))) {
      if (entry.path().filename().string().starts_with("sway-ipc.")) ipc = entry.path();
    }
    child_process swaymsg{argv, {"SWAYSOCK=" + ipc}, answer};
    while (!swaymsg.has_ended()) std::this_thread::sleep_for(10ms);
    std::string text = swaymsg.output();
    std::erase_if(text, [](char c) { return std::isspace(static_cast<unsigned char>(c)); });
    return text;
  }

  void freeze() const { process_->freeze(); }
  void thaw() const { process_->thaw(); }

  // Ends it at once, as a crash would, and waits for that.
  void crash() {
    process_->signal(SIGKILL);
    while (!process_->has_ended()) std::this_thread::sleep_for(10ms);
  }

 private:
  testing::temp_folder folder_;
  std::unique_ptr<child_process> process_;
  std::string socket_;
};

#define SKIP_UNLESS_UP(shell) \
  if ((shell).socket().empty()) GTEST_SKIP() << "the compositor did not come up: " << (shell).log()

// Where there is no display, or one without the layer shell, there is no
// overlay: the next route is tried.
TEST(layer_shell_overlay, is_refused_without_a_display_offering_the_layer_shell) {
  const testing::temp_folder nowhere;
  for (const std::string& display : {std::string{}, nowhere.file("wayland-0")}) {
    const testing::scoped_variable named{"WAYLAND_DISPLAY", display};
    EXPECT_EQ(platform::open_layer_shell_overlay(), nullptr) << "WAYLAND_DISPLAY=" << display;
  }
  const compositor weston{"/usr/bin/weston",
                          {"--backend=headless-backend.so", "--use-pixman", "--socket=wayland-5"}};
  SKIP_UNLESS_UP(weston);
  const testing::scoped_variable named{"WAYLAND_DISPLAY", weston.socket()};
  EXPECT_EQ(platform::open_layer_shell_overlay(), nullptr);
}

// A band of the monitor's size as the overlay tells it (the pixels it is
// drawn in), an eighth of it high, red with a blue end on the right, where
// the warning's text ends.
struct red_band {
  std::vector<std::uint32_t> pixels;
  platform::overlay_picture picture;

  explicit red_band(const platform::monitor_area& monitor, std::uint32_t red = 0xffff0000u) {
    const int height = monitor.height / 8;
    pixels.assign(std::size_t(monitor.width) * height, red);
    for (int row = 0; row < height; ++row) {
      std::fill_n(pixels.begin() + std::ptrdiff_t(row + 1) * monitor.width - 8, 8, 0xff0000ffu);
    }
    picture = {monitor.width, height, monitor.width * 4,
               reinterpret_cast<const std::uint8_t*>(pixels.data())};
  }
};

void take_events(platform::overlay_display& overlay, int rounds = 20) {
  for (int round = 0; round < rounds; ++round) {
    pollfd watched{overlay.descriptor(), POLLIN, 0};
    poll(&watched, 1, 20);
    ASSERT_TRUE(overlay.handle_events());
  }
}

// The band as grim sees it on an output width x height in the desktop's
// units: an eighth of it high, all of it wide, whatever the output's scale.
void expect_band_across(const compositor& sway, int width, int height) {
  EXPECT_EQ(sway.red_at(width / 2, height / 8 - 3), 255);
  EXPECT_NE(sway.red_at(width / 2, height / 8 + 3), 255);
  EXPECT_EQ(sway.red_at(width - 1, height / 16), 0) << "the band's right end is not on the screen";
}

// The band is shown on the overlay layer across the top, over a fullscreen
// program that keeps the keyboard, sized and drawn at the output's scale, a
// whole one or a fractional one; it outlasts a compositor held still while
// the socket to it fills; when the compositor goes away, the overlay ends
// without taking the program with it (no SIGPIPE on sending to the closed
// socket), and says so from then on.
TEST(layer_shell_overlay, shows_the_band_and_ends_when_the_compositor_goes_away) {
  compositor sway{"/usr/bin/sway", {"-c", "sway.conf"}};
  SKIP_UNLESS_UP(sway);
  sway.sway({"exec", "foot --fullscreen"});
  for (auto give_up = std::chrono::steady_clock::now() + 10s;
       sway.sway({"-t", "get_tree"}).find("\"fullscreen_mode\":1") == std::string::npos;
       std::this_thread::sleep_for(50ms)) {
    ASSERT_LT(std::chrono::steady_clock::now(), give_up) << "foot did not come up fullscreen";
  }
  const testing::scoped_variable named{"WAYLAND_DISPLAY", sway.socket()};
  const testing::scoped_variable no_x{"DISPLAY", ""};
  const auto overlay = window::open_warning_overlay();
  ASSERT_NE(overlay, nullptr) << sway.log();
  EXPECT_EQ(overlay->route(), "wlr-layer-shell overlay layer");
  ASSERT_EQ(overlay->monitors().size(), 1u);
  const platform::monitor_area area = overlay->monitors().front();
  EXPECT_EQ(area.width, 2880);
  EXPECT_EQ(area.height, 1800);

  const red_band band{area};
  ASSERT_TRUE(overlay->show({band.picture}));
  take_events(*overlay);
  expect_band_across(sway, 1440, 900);
  EXPECT_TRUE(sway.sway({"-t", "get_tree"}).find("\"focused\":true") != std::string::npos)
      << "the band took the keyboard from the program in front";

  // sway 1.7 tells no fractional scale: the band is drawn at 2 and shown
  // smaller; later ones have it drawn in the screen's own pixels.
  sway.sway({"output", "HEADLESS-1", "scale", "1.5"});
  take_events(*overlay);
  const platform::monitor_area scaled = overlay->monitors().front();
  EXPECT_TRUE(scaled.width == 3840 || scaled.width == 2880) << scaled.width;
  EXPECT_EQ(scaled.width * 10, scaled.height * 16);
  const red_band smaller{scaled};
  ASSERT_TRUE(overlay->show({smaller.picture}));
  take_events(*overlay);
  expect_band_across(sway, 1920, 1200);

  // Shown while sway is held still, until a show waits for room in the
  // socket, and beyond: the last one comes up once sway goes on.
  sway.freeze();
  for (int shown = 0, waited = 0; shown < 5000 && waited < 50; ++shown) {
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(overlay->show({smaller.picture})) << "after " << shown << " shows";
    if (std::chrono::steady_clock::now() - start >= 10ms) ++waited;
  }
  const red_band darker{scaled, 0xff800000u};
  EXPECT_TRUE(overlay->show({darker.picture}));
  sway.thaw();
  take_events(*overlay);
  EXPECT_EQ(sway.red_at(960, 100), 0x80);

  sway.crash();
  EXPECT_FALSE(overlay->show({band.picture}));
  EXPECT_FALSE(overlay->handle_events());
  EXPECT_EQ(overlay->descriptor(), -1);
  EXPECT_TRUE(overlay->monitors().empty());
}

}  // namespace
}  // namespace vrnskdm
