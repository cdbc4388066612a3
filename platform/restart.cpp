#include "restart.h"

#include <systemd/sd-bus.h>

#include <string_view>
#include <utility>

#include "bus_call.h"
#include "detached_flush.h"
#include "files.h"

namespace vrnskdm::platform {

// What the request's thread found of its flush, read once its reply is there.
struct logind_restarter::flush_outcome {
  bool flushed = false;
  std::string trouble;
};

namespace {

using std::chrono::milliseconds;

constexpr std::string_view still_flushing = "still going on after 1 s";
static_assert(flush_timeout == std::chrono::seconds{1}, "still_flushing names the time");

constexpr bus_method manager(const char* member) {
  return {"org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
          member};
}

}  // namespace

// A link the flush may not follow was told of by the files the logic writes
// with. The request bounds its wait for the flush itself.
logind_restarter::logind_restarter(answer_bell* bell, std::shared_ptr<files> flusher)
    : bell_{bell}, flusher_{flusher ? std::move(flusher) : std::make_shared<posix_files>(nullptr, -1, disk_wait::unbounded)} {}

logind_restarter::~logind_restarter() = default;

void logind_restarter::send_request(std::vector<std::string> to_flush) {
  flushed_ = std::make_shared<flush_outcome>();
  std::shared_ptr<detached_flush> awaited;
  if (flush_ && flush_->going_on()) {
    flushed_->trouble = still_flushing;
  } else if (to_flush.empty()) {
    flushed_->flushed = true;
  } else {
    // Every file is tried, whichever failed before it.
    awaited = detached_flush::start(
        [to_flush = std::move(to_flush), fs = flusher_] {
          bool all = true;
          for (const std::string& path : to_flush) all = fs->flush_to_disk(path) && all;
          return all;
        },
        flushed_->trouble);
    if (awaited) flush_ = awaited;
  }
  auto wait_for_flush = [awaited, outcome = flushed_] {
    if (!awaited) return;
    const detached_flush::outcome flush = awaited->wait(flush_timeout);
    outcome->flushed = flush.flushed;
    outcome->trouble = flush.over ? flush.trouble : std::string{still_flushing};
  };
  // false: never ask the user for a password; logind answers at once instead.
  request_ = std::make_unique<bus_call>(
      bus_kind::system, manager("Reboot"),
      [](sd_bus_message* message) { return sd_bus_message_append(message, "b", 0); }, bell_,
      answer_timeout, std::move(wait_for_flush), awaited ? flush_timeout : milliseconds{0});
}

std::optional<restart_answer> logind_restarter::answer_from(std::optional<bus_reply> reply) {
  if (!reply) return std::nullopt;
  request_.reset();
  constexpr std::string_view under_way = "org.freedesktop.login1.OperationInProgress:";
  const bool going_on = reply->failure.starts_with(under_way);
  return restart_answer{reply->answered, std::move(reply->failure), flushed_->flushed, going_on,
                        flushed_->trouble};
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
