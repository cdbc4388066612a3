#pragma once

#include <string>

namespace vrnskdm::platform {

// Keeps a second watchdog out of a folder where one already runs: two would
// share the marker and the log, and both would delete the heartbeat. The lock
// is flock(2) on the folder's own descriptor, so no lock file appears among the
// folder's files, and the kernel lets it go when its holder ends, however that
// happens.
class folder_lock {
 public:
  // Takes the lock on `folder` without waiting, and holds it until the object
  // goes. Where the folder cannot be opened or locked (it is gone, unreadable,
  // or on a file system that refuses the lock), nothing is held and nothing is
  // refused: taken_elsewhere() is false.
  explicit folder_lock(const std::string& folder);
  ~folder_lock();
  folder_lock(const folder_lock&) = delete;
  folder_lock& operator=(const folder_lock&) = delete;

  // True when another holder, in this process or another, has the lock.
  bool taken_elsewhere() const { return taken_elsewhere_; }

 private:
  int descriptor_ = -1;
  bool taken_elsewhere_ = false;
};

}  // namespace vrnskdm::platform
