#include "system_bus_redirect.h"

#include <stdlib.h>

namespace vrnskdm::testing {

namespace {

constexpr const char* variable = "DBUS_SYSTEM_BUS_ADDRESS";

}  // namespace

system_bus_redirect::system_bus_redirect(const std::string& address) {
  if (const char* previous = ::getenv(variable)) previous_ = previous;
  ::setenv(variable, address.c_str(), 1);
}

system_bus_redirect::~system_bus_redirect() {
  if (previous_) {
    ::setenv(variable, previous_->c_str(), 1);
  } else {
    ::unsetenv(variable);
  }
}

}  // namespace vrnskdm::testing
