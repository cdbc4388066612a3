#include "private_bus.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <fstream>
#include <stdexcept>

#include "owned_fd.h"

namespace vrnskdm::testing {

namespace {

// Long enough for a loaded machine running the sanitizer build.
constexpr int start_timeout_ms = 15000;

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

// The daemon writes its address, then a line end, once it listens.
std::string read_address(int fd) {
  std::string address;
  char c = 0;
  for (;;) {
    pollfd ready{fd, POLLIN, 0};
    if (::poll(&ready, 1, start_timeout_ms) <= 0 || ::read(fd, &c, 1) != 1 || c == '\n') break;
    address += c;
  }
  return address;
}

}  // namespace

private_bus::private_bus() {
  const std::string config_path = folder_.file("bus.conf");
  std::ofstream{config_path} << configuration(folder_.file("socket"));

  // The write end stays open across exec so that the daemon can report on it;
  // the read end does not.
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
  const owned_fd read_end{ends[0]};
  owned_fd write_end{ends[1]};
  ::fcntl(write_end.fd, F_SETFD, 0);

  daemon_.emplace(std::vector<std::string>{"/usr/bin/dbus-daemon", "--nofork",
                                           "--config-file=" + config_path,
                                           "--print-address=" + std::to_string(write_end.fd)},
                  std::vector<std::string>{}, folder_.file("daemon.log"));
  // Only the daemon may hold it now, so that its end shows as end of file.
  write_end.close();

  address_ = read_address(read_end.fd);
  if (address_.empty()) {
    throw std::runtime_error("dbus-daemon did not start: " + daemon_->output());
  }
}

bool bell_rings(const platform::answer_bell& bell, std::chrono::milliseconds within) {
  pollfd ringing{bell.descriptor(), POLLIN, 0};
  return ::poll(&ringing, 1, static_cast<int>(within.count())) == 1;
}

}  // namespace vrnskdm::testing
