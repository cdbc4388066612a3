#pragma once

#include <optional>
#include <string>

#include "child_process.h"
#include "temp_folder.h"

namespace vrnskdm::testing {

// A D-Bus message bus of the test's own, on a socket in a fresh folder. Nothing
// on it can be activated, and nothing outside the test reaches it; every
// connection may own any name and call anything, as on a bus under test.
class private_bus {
 public:
  // Returns once the bus accepts connections; throws when it cannot be started.
  private_bus();

  // The address to give clients, for example as DBUS_SYSTEM_BUS_ADDRESS.
  const std::string& address() const { return address_; }

  // Holds the bus daemon still, as a hung bus would be: connections are still
  // taken in by the system but never answered, until thaw.
  void freeze() const { daemon_->freeze(); }
  void thaw() const { daemon_->thaw(); }

 private:
  temp_folder folder_;
  std::optional<child_process> daemon_;
  std::string address_;
};

}  // namespace vrnskdm::testing
