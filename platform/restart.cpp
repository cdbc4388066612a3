#include "restart.h"

#include <systemd/sd-bus.h>

#include <string_view>
#include <utility>

#include "bus_call.h"
#include "files.h"

namespace vrnskdm::platform {

namespace {

constexpr bus_method manager(const char* member) {
  return {"org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
          member};
}

}  // namespace

logind_restarter::logind_restarter(answer_bell* bell) : bell_{bell} {}

logind_restarter::~logind_restarter() = default;

void logind_restarter::send_request(std::vector<std::string> to_flush) {
  flushed_ = std::make_shared<bool>(false);
  // The thread may outlive this restarter, so it brings everything it uses. A
  // link it may not follow was told of by the files the logic writes with.
  auto flush = [to_flush = std::move(to_flush), flushed = flushed_] {
    posix_files fs;
    bool all = true;
    for (const std::string& path : to_flush) all = fs.flush_to_disk(path) && all;
    *flushed = all;
  };
  // false: never ask the user for a password; logind answers at once instead.
  request_ = std::make_unique<bus_call>(
      bus_kind::system, manager("Reboot"),
      [](sd_bus_message* message) { return sd_bus_message_append(message, "b", 0); }, bell_,
      answer_timeout, std::move(flush));
}

std::optional<restart_answer> logind_restarter::answer_from(std::optional<bus_reply> reply) {
  if (!reply) return std::nullopt;
  request_.reset();
  constexpr std::string_view under_way = "org.freedesktop.login1.OperationInProgress:";
  const bool going_on = reply->failure.starts_with(under_way);
  return restart_answer{reply->answered, std::move(reply->failure), *flushed_, going_on};
}

std::optional<restart_answer> logind_restarter::take_answer() {
  if (!request_) return std::nullopt;
  return answer_from(request_->take());
}

std::optional<restart_answer> logind_restarter::wait_for_answer(std::chrono::milliseconds longest) {
  if (!request_) return std::nullopt;
  return answer_from(request_->wait(longest));
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
