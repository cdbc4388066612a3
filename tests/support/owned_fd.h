#pragma once

#include <unistd.h>

namespace vrnskdm::testing {

// A file descriptor that is closed when the object goes.
struct owned_fd {
  int fd = -1;

  owned_fd() = default;
  explicit owned_fd(int descriptor) : fd{descriptor} {}
  ~owned_fd() { close(); }
  owned_fd(const owned_fd&) = delete;
  owned_fd& operator=(const owned_fd&) = delete;

  void close() {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
};

}  // namespace vrnskdm::testing
