#pragma once

#include <string>

#include "dbus_mock.h"

namespace vrnskdm::testing {

// python-dbusmock's logind template, standing where the system's logind would:
// it accepts Reboot until told to refuse it. can_reboot is what it answers to
// CanReboot.
class logind_mock : public dbus_mock {
 public:
  explicit logind_mock(const private_bus& bus, const std::string& can_reboot = "yes")
      : dbus_mock{bus, logind_service, R"({"CanReboot": ")" + can_reboot + R"("})"} {}

  // From now on Reboot fails with the D-Bus error of that name.
  void refuse_reboot(const std::string& error_name) {
    refuse("org.freedesktop.login1.Manager", "Reboot", "b", error_name);
  }
};

}  // namespace vrnskdm::testing
