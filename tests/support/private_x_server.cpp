#include "private_x_server.h"

#include <csignal>
#include <filesystem>
#include <stdexcept>
#include <thread>

namespace vrnskdm::testing {

namespace {

// ":" and the number, appended: GCC 12 at -O3 takes "literal" + string for an
// overlapping copy (a false -Wrestrict).
std::string display_name(const std::string& number) {
  std::string name{":"};
  name += number;
  return name;
}

}  // namespace

private_x_server::private_x_server() {
  const std::string number = start_and_read_line(
      server_,
      [](int fd) {
        return std::vector<std::string>{"/usr/bin/Xvfb", "-displayfd", std::to_string(fd),
                                        "-screen",       "0",          "640x480x24",
                                        "-nolisten",     "tcp",        "-noreset"};
      },
      folder_.file("xvfb.log"));
  if (number.empty()) throw std::runtime_error("Xvfb did not start: " + server_->output());
  display_ = display_name(number);
}

void private_x_server::end() {
  server_->signal(SIGKILL);
  while (!server_->has_ended()) std::this_thread::sleep_for(std::chrono::milliseconds{10});
}

std::string private_x_server::nowhere() {
  int number = 1000;
  while (std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(number)) ||
         std::filesystem::exists("/tmp/.X" + std::to_string(number) + "-lock")) {
    ++number;
  }
  return display_name(std::to_string(number));
}

}  // namespace vrnskdm::testing
