#include "logind_restarter.h"

#include <systemd/sd-bus.h>

#include <cerrno>
#include <memory>

namespace vrnskdm::platform {

namespace {

using std::chrono::steady_clock;

// Closing without flushing: sd_bus_flush would first wait for the connection's
// handshake, with no bound but sd-bus's own of 90 s.
struct bus_closer {
  void operator()(sd_bus* bus) const { sd_bus_close_unref(bus); }
};

enum class answer { none, accepted, refused };

int on_answer(sd_bus_message* reply, void* userdata, sd_bus_error* /*unused*/) {
  *static_cast<answer*>(userdata) =
      sd_bus_message_is_method_error(reply, nullptr) ? answer::refused : answer::accepted;
  return 0;
}

}  // namespace

// The call is sent asynchronously and the connection driven here, so that one
// deadline covers connecting, the handshake with the bus and logind's answer:
// sd-bus's method-call timeout bounds only the last of them.
std::int32_t logind_restarter::request_reboot() {
  const steady_clock::time_point deadline = steady_clock::now() + answer_timeout;
  answer got = answer::none;
  sd_bus* raw_bus = nullptr;
  if (sd_bus_open_system(&raw_bus) < 0) return 0;
  const std::unique_ptr<sd_bus, bus_closer> bus{raw_bus};
  if (sd_bus_call_method_async(bus.get(), nullptr, "org.freedesktop.login1",
                               "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                               "Reboot", on_answer, &got, "b", 0) < 0) {
    return 0;
  }
  while (got == answer::none) {
    const auto left = deadline - steady_clock::now();
    if (left <= steady_clock::duration::zero()) return 0;
    const int processed = sd_bus_process(bus.get(), nullptr);
    if (processed < 0) return 0;
    if (processed > 0) continue;
    const auto wait_us = std::chrono::ceil<std::chrono::microseconds>(left).count();
    const int waited = sd_bus_wait(bus.get(), static_cast<std::uint64_t>(wait_us));
    if (waited < 0 && waited != -EINTR) return 0;
  }
  return got == answer::accepted ? 1 : 0;
}

}  // namespace vrnskdm::platform
