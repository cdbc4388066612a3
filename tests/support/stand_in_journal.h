#pragma once

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <string>

namespace vrnskdm::testing {

// Listens where a journal would, and reads only when asked to.
class stand_in_journal {
 public:
  explicit stand_in_journal(const std::string& path) {
    socket_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    bound_ = ::bind(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  }
  ~stand_in_journal() { ::close(socket_); }
  stand_in_journal(const stand_in_journal&) = delete;
  stand_in_journal& operator=(const stand_in_journal&) = delete;

  bool listening() const { return bound_; }

  // The next entry's fields, or nothing when none waits.
  std::string receive() {
    std::array<char, 4096> datagram{};
    const ssize_t got = ::recv(socket_, datagram.data(), datagram.size(), MSG_DONTWAIT);
    return got > 0 ? std::string(datagram.data(), static_cast<std::size_t>(got)) : std::string{};
  }

 private:
  int socket_ = -1;
  bool bound_ = false;
};

}  // namespace vrnskdm::testing
