#include "folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace vrnskdm::platform {

folder_lock::folder_lock(const std::string& folder) {
  descriptor_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor_ < 0) return;
  if (::flock(descriptor_, LOCK_EX | LOCK_NB) == 0) return;
  taken_elsewhere_ = errno == EWOULDBLOCK;
  ::close(descriptor_);
  descriptor_ = -1;
}

// Closing the only descriptor of the open folder releases its lock.
folder_lock::~folder_lock() {
  if (descriptor_ >= 0) ::close(descriptor_);
}

}  // namespace vrnskdm::platform
