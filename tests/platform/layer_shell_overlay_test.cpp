// The overlay's Wayland route against real compositors: sway offers the layer
// shell, weston does not. sway refuses to run as root, so where the tests do it
// runs as nobody; where a compositor is missing or does not come up, its tests
// are skipped with the reason.

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>

#include "platform/overlay.h"
#include "support/child_process.h"
#include "support/scoped_variable.h"
#include "support/temp_folder.h"

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
    // Without Xwayland, sway takes no X display that other tests might want.
    std::ofstream{folder_.file("sway.conf")} << "xwayland disable\n";
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

// The band is shown on the overlay layer across the top; when the compositor
// goes away, the overlay ends without taking the program with it (no SIGPIPE
// on sending to the closed socket), and says so from then on.
TEST(layer_shell_overlay, shows_the_band_and_ends_when_the_compositor_goes_away) {
  compositor sway{"/usr/bin/sway", {"-c", "sway.conf"}};
  SKIP_UNLESS_UP(sway);
  const testing::scoped_variable named{"WAYLAND_DISPLAY", sway.socket()};
  const auto overlay = platform::open_layer_shell_overlay();
  ASSERT_NE(overlay, nullptr) << sway.log();
  EXPECT_EQ(overlay->route(), "wlr-layer-shell overlay layer");
  const auto monitors = overlay->monitors();
  ASSERT_EQ(monitors.size(), 1u);
  const platform::monitor_area area = monitors.front();
  EXPECT_GT(area.width, 0);

  const std::vector<std::uint32_t> red(std::size_t(area.width) * 40, 0xffff0000u);
  const platform::overlay_picture band{area.width, 40, area.width * 4,
                                       reinterpret_cast<const std::uint8_t*>(red.data())};
  ASSERT_TRUE(overlay->show({band}));
  for (int round = 0; round < 20; ++round) {
    pollfd watched{overlay->descriptor(), POLLIN, 0};
    poll(&watched, 1, 20);
    ASSERT_TRUE(overlay->handle_events()) << sway.log();
  }
  if (fs::exists("/usr/bin/grim")) {
    EXPECT_EQ(sway.red_at(area.width / 2, 39), 255);
    EXPECT_NE(sway.red_at(area.width / 2, 40), 255);
  }

  sway.crash();
  EXPECT_FALSE(overlay->show({band}));
  EXPECT_FALSE(overlay->handle_events());
  EXPECT_EQ(overlay->descriptor(), -1);
  EXPECT_TRUE(overlay->monitors().empty());
}

}  // namespace
}  // namespace vrnskdm
