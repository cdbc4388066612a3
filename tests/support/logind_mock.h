#pragma once

#include <systemd/sd-bus.h>

#include <memory>
#include <string>
#include <vector>

#include "child_process.h"
#include "private_bus.h"
#include "temp_folder.h"

namespace vrnskdm::testing {

// python-dbusmock's logind template on a private bus, standing where the
// system's logind would: it records every call made to it and accepts Reboot
// until told to refuse it. A program started with DBUS_SYSTEM_BUS_ADDRESS set
// to the bus's address reaches it as it would reach logind.
class logind_mock {
 public:
  // Returns once the mock owns logind's name; throws when it cannot start.
  // can_reboot is what it answers to CanReboot.
  explicit logind_mock(const private_bus& bus, const std::string& can_reboot = "yes");

  // From now on Reboot fails with the D-Bus error of that name.
  void refuse_reboot(const std::string& error_name);

  // The methods called on logind so far, oldest first, each as its name and its
  // arguments, for example "Reboot(false)".
  std::vector<std::string> calls();

  // Holds the mock still, as a logind that never answers, until thaw.
  void freeze() const { service_.freeze(); }
  void thaw() const { service_.thaw(); }

 private:
  struct bus_closer {
    void operator()(sd_bus* bus) const { sd_bus_close_unref(bus); }
  };

  temp_folder folder_;
  std::unique_ptr<sd_bus, bus_closer> control_;
  child_process service_;
};

}  // namespace vrnskdm::testing
