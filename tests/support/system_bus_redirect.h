#pragma once

#include <optional>
#include <string>

namespace vrnskdm::testing {

// Points DBUS_SYSTEM_BUS_ADDRESS, where sd-bus and other D-Bus clients look for
// the system bus, at another address for as long as the object lives.
class system_bus_redirect {
 public:
  explicit system_bus_redirect(const std::string& address);
  ~system_bus_redirect();
  system_bus_redirect(const system_bus_redirect&) = delete;
  system_bus_redirect& operator=(const system_bus_redirect&) = delete;

 private:
  std::optional<std::string> previous_;
};

}  // namespace vrnskdm::testing
