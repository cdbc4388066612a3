#include "private_bus.h"

#include <poll.h>

#include <fstream>
#include <stdexcept>

namespace vrnskdm::testing {

namespace {

std::string configuration(const std::string& socket_path) {
  return R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <listen>unix:path=)" +
         socket_path + R"(</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";
}

}  // namespace

private_bus::private_bus() {
  const std::string config_path = folder_.file("bus.conf");
  std::ofstream{config_path} << configuration(folder_.file("socket"));

  address_ = start_and_read_line(
      daemon_,
      [&](int fd) {
        return std::vector<std::string>{"/usr/bin/dbus-daemon", "--nofork",
                                        "--config-file=" + config_path,
                                        "--print-address=" + std::to_string(fd)};
      },
      folder_.file("daemon.log"));
  if (address_.empty()) {
    throw std::runtime_error("dbus-daemon did not start: " + daemon_->output());
  }
}

bool bell_rings(const platform::answer_bell& bell, std::chrono::milliseconds within) {
  pollfd ringing{bell.descriptor(), POLLIN, 0};
  return ::poll(&ringing, 1, static_cast<int>(within.count())) == 1;
}

}  // namespace vrnskdm::testing
