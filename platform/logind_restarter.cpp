#include "logind_restarter.h"

#include <systemd/sd-bus.h>

#include <memory>

namespace vrnskdm::platform {

namespace {

struct bus_closer {
  void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
struct reply_releaser {
  void operator()(sd_bus_message* reply) const { sd_bus_message_unref(reply); }
};
struct error_releaser {
  void operator()(sd_bus_error* error) const { sd_bus_error_free(error); }
};

}  // namespace

std::int32_t logind_restarter::request_reboot() {
  sd_bus* raw_bus = nullptr;
  if (sd_bus_open_system(&raw_bus) < 0) return 0;
  const std::unique_ptr<sd_bus, bus_closer> bus{raw_bus};
  const auto timeout_us = std::chrono::duration_cast<std::chrono::microseconds>(answer_timeout);
  if (sd_bus_set_method_call_timeout(bus.get(), static_cast<std::uint64_t>(timeout_us.count())) < 0) {
    return 0;
  }

  sd_bus_error error = SD_BUS_ERROR_NULL;
  const std::unique_ptr<sd_bus_error, error_releaser> error_guard{&error};
  sd_bus_message* raw_reply = nullptr;
  const int result = sd_bus_call_method(bus.get(), "org.freedesktop.login1",
                                        "/org/freedesktop/login1",
                                        "org.freedesktop.login1.Manager", "Reboot", &error,
                                        &raw_reply, "b", 0);
  const std::unique_ptr<sd_bus_message, reply_releaser> reply{raw_reply};
  return result >= 0 ? 1 : 0;
}

}  // namespace vrnskdm::platform
