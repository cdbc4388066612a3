#include "restart.h"

#include <systemd/sd-bus.h>

#include "bus_call.h"

namespace vrnskdm::platform {

namespace {

constexpr bus_method manager(const char* member) {
  return {"org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
          member};
}

}  // namespace

logind_restarter::logind_restarter(answer_bell* bell) : bell_{bell} {}

logind_restarter::~logind_restarter() = default;

void logind_restarter::send_request() {
  // false: never ask the user for a password; logind answers at once instead.
  request_ = std::make_unique<bus_call>(
      bus_kind::system, manager("Reboot"),
      [](sd_bus_message* message) { return sd_bus_message_append(message, "b", 0); }, bell_);
}

std::optional<restart_answer> logind_restarter::take_answer() {
  if (!request_) return std::nullopt;
  std::optional<bus_reply> reply = request_->take();
  if (!reply) return std::nullopt;
  request_.reset();
  return restart_answer{reply->answered, std::move(reply->failure)};
}

void logind_restarter::ask_permission() {
  permission_ = std::make_unique<bus_call>(bus_kind::system, manager("CanReboot"), nullptr, bell_);
}

std::optional<restart_permission> logind_restarter::take_permission() {
  if (!permission_) return std::nullopt;
  std::optional<bus_reply> reply = permission_->take();
  if (!reply) return std::nullopt;
  permission_.reset();
  return restart_permission{std::move(reply->text), std::move(reply->failure)};
}

}  // namespace vrnskdm::platform
