#pragma once

#include <string>

#include "scoped_variable.h"

namespace vrnskdm::testing {

// Points DBUS_SYSTEM_BUS_ADDRESS, where sd-bus and other D-Bus clients look for
// the system bus, at another address for as long as the object lives.
class system_bus_redirect {
 public:
  explicit system_bus_redirect(const std::string& address)
      : variable_{"DBUS_SYSTEM_BUS_ADDRESS", address} {}

 private:
  scoped_variable variable_;
};

}  // namespace vrnskdm::testing
