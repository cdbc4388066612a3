#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "child_process.h"
#include "platform/bus_call.h"
#include "temp_folder.h"

namespace vrnskdm::testing {

// What scheduling on a loaded machine, in the sanitizer build too, may add to a
// call that waits out its timeout.
inline constexpr std::chrono::milliseconds scheduling_slack{1000};
// What takes no peer's answer (sending a call, failing to find a bus) is done
// well within this, and far within the calls' timeout.
inline constexpr std::chrono::milliseconds at_once{500};

// Where no bus is: a call finds none there, at once.
inline const std::string no_bus_address = "unix:path=/nonexistent/vrnskdm-no-bus";

// Waits, as the window's event loop does, for the bell to ring; says whether it
// did within the time given.
bool bell_rings(const platform::answer_bell& bell, std::chrono::milliseconds within);

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
