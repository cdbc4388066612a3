#pragma once

#include <systemd/sd-bus.h>

#include <memory>
#include <string>
#include <vector>

#include "child_process.h"
#include "private_bus.h"
#include "temp_folder.h"

namespace vrnskdm::testing {

// A service that python-dbusmock stands in for, by one of its templates.
struct mocked_service {
  const char* dbusmock_template;
  const char* name;  // the name it owns on the bus
  const char* path;  // its main object
  const char* bus_kind;  // dbusmock's option: "--system" or "--session"
};

inline constexpr mocked_service logind_service{"logind", "org.freedesktop.login1",
                                               "/org/freedesktop/login1", "--system"};
inline constexpr mocked_service notification_service{
    "notification_daemon", "org.freedesktop.Notifications", "/org/freedesktop/Notifications",
    "--session"};

// python-dbusmock on a private bus, standing where a service of the system or
// of the session would: a program started with DBUS_SYSTEM_BUS_ADDRESS or
// DBUS_SESSION_BUS_ADDRESS set to the bus's address reaches it as it would
// reach the service. It records every call made to it.
class dbus_mock {
 public:
  // Returns once the mock owns the service's name; throws when it cannot start.
  // parameters: the template's, as a JSON object.
  dbus_mock(const private_bus& bus, const mocked_service& service,
            const std::string& parameters = "{}");

  // From now on the method fails with the D-Bus error of that name.
  void refuse(const std::string& interface, const std::string& method,
              const std::string& in_signature, const std::string& error_name);

  // From now on the method runs the Python code given (dbusmock's AddMethod:
  // args, self and ret are there), in place of the template's.
  void redefine(const std::string& interface, const std::string& method,
                const std::string& in_signature, const std::string& out_signature,
                const std::string& code);

  // The methods called on the service's main object so far, oldest first, each
  // as its name and its arguments, for example "Reboot(false)" or
  // Notify("vrnskdm", 0, [], {"urgency": <y 2>}): texts quoted, a variant
  // inside an argument with its type.
  std::vector<std::string> calls();

  // Holds the mock still, as a service that never answers, until thaw.
  void freeze() const { service_.freeze(); }
  void thaw() const { service_.thaw(); }

 private:
  struct bus_closer {
    void operator()(sd_bus* bus) const { sd_bus_close_unref(bus); }
  };

  mocked_service mocked_;
  temp_folder folder_;
  std::unique_ptr<sd_bus, bus_closer> control_;
  child_process service_;
};

}  // namespace vrnskdm::testing
