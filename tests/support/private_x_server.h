#pragma once

#include <optional>
#include <string>

#include "child_process.h"
#include "temp_folder.h"

namespace vrnskdm::testing {

// An X server of the test's own, Xvfb with one 640 x 480 screen, reached by
// its unix socket only.
class private_x_server {
 public:
  // Returns once the server takes connections; throws when it cannot be started.
  private_x_server();

  // What DISPLAY names it by.
  const std::string& display() const { return display_; }

  // Holds it still, as a server that hangs would be.
  void freeze() const { server_->freeze(); }

  // Kills it, as a display that crashes or is logged out goes; returns once it
  // has gone.
  void end();

  // A DISPLAY that names no server: connections to it are refused.
  static std::string nowhere();

 private:
  temp_folder folder_;
  std::optional<child_process> server_;
  std::string display_;
};

}  // namespace vrnskdm::testing
