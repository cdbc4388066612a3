#include "notifications.h"

#include <systemd/sd-bus.h>

#include <algorithm>
#include <vector>

#include "bus_call.h"

namespace vrnskdm::platform {

namespace {

constexpr const char* program_name = "vrnskdm";
constexpr std::uint8_t urgency_critical = 2;
// Never expires: it goes when it is closed.
constexpr std::int32_t expire_never = 0;

// A showing answered after answer_timeout is still listened for this long (as
// long as sd-bus's own call timeout), to keep the notification it brings, or to
// close it when it is no longer wanted.
constexpr std::chrono::seconds late_showing_limit{25};

// How long an ending program waits for each close to be sent.
constexpr std::chrono::milliseconds parting_wait{300};

constexpr bus_method notifications(const char* member) {
  return {"org.freedesktop.Notifications", "/org/freedesktop/Notifications",
          "org.freedesktop.Notifications", member};
}

bus_call::arguments closing(std::uint32_t id) {
  return [id](sd_bus_message* message) { return sd_bus_message_append(message, "u", id); };
}

}  // namespace

desktop_notifier::desktop_notifier(answer_bell* bell) : bell_{bell} {}

// The warning never expires by itself, and would outlive a program that ends
// during a countdown, closed by the operator, say, for all to see: so it goes
// with the program, which waits for that, and for the numbers of showings still
// on their way, as long as a call may take at most.
desktop_notifier::~desktop_notifier() {
  const auto until = std::chrono::steady_clock::now() + answer_timeout;
  const auto left = [until] {
    return std::chrono::ceil<std::chrono::milliseconds>(
        std::max(until - std::chrono::steady_clock::now(), std::chrono::steady_clock::duration{}));
  };
  if (call_) took(call_->wait(left()));
  for (const auto& late : late_showings_) {
    const std::optional<bus_reply> reply = late.call->wait(left());
    if (reply && reply->answered) left_behind_.push_back(reply->number);
  }
  if (on_screen_) left_behind_.push_back(id_);
  for (const std::uint32_t id : left_behind_) {
    bus_call close{bus_kind::session, notifications("CloseNotification"), closing(id), nullptr,
                   parting_wait};
    close.wait(parting_wait);
  }
}

void desktop_notifier::show(const notification& shown) {
  wanted_ = shown;
  ++wanted_serial_;
  send_next();
}

void desktop_notifier::close() {
  wanted_.reset();
  send_next();
}

void desktop_notifier::take_replies() {
  take_late_showings();
  if (call_ && !took(call_->take())) {
    if (!call_shows_ || std::chrono::steady_clock::now() - call_sent_ < answer_timeout) return;
    late_showings_.push_back({std::move(call_), sent_serial_});
  }
  send_next();
}

// A slow desktop may answer the first showing of a run late, while it starts
// its notification service: that warning is still the one to show, and it was
// not sent again, so it stays. Any other one would be left behind.
void desktop_notifier::take_late_showings() {
  std::erase_if(late_showings_, [this](const late_showing& late) {
    const std::optional<bus_reply> reply = late.call->take();
    if (!reply || !reply->answered) return reply.has_value();
    if (wanted_ && late.serial == wanted_serial_) {
      // The one it was to replace, should the service have shown it beside.
      if (on_screen_ && id_ != reply->number) left_behind_.push_back(id_);
      id_ = reply->number;
      on_screen_ = true;
    } else {
      left_behind_.push_back(reply->number);
    }
    return true;
  });
}

bool desktop_notifier::took(const std::optional<bus_reply>& reply) {
  if (!reply) return false;
  if (call_shows_ && reply->answered) {
    id_ = reply->number;
    on_screen_ = true;
  }
  call_.reset();
  return true;
}

void desktop_notifier::send_next() {
  if (call_) return;
  call_sent_ = std::chrono::steady_clock::now();
  call_shows_ = false;
  if (!left_behind_.empty()) {
    call_ = std::make_unique<bus_call>(bus_kind::session, notifications("CloseNotification"),
                                       closing(left_behind_.back()), bell_);
    left_behind_.pop_back();
  } else if (wanted_ && sent_serial_ != wanted_serial_) {
    sent_serial_ = wanted_serial_;
    call_shows_ = true;
    call_ = std::make_unique<bus_call>(
        bus_kind::session, notifications("Notify"),
        [shown = *wanted_, replaces = on_screen_ ? id_ : 0](sd_bus_message* message) {
          return sd_bus_message_append(message, "susssasa{sv}i", program_name, replaces, program_name,
                                       shown.summary.c_str(), shown.body.c_str(), 0, 1, "urgency",
                                       "y", urgency_critical, expire_never);
        },
        bell_, late_showing_limit);
  } else if (!wanted_ && on_screen_) {
    on_screen_ = false;
    call_ = std::make_unique<bus_call>(bus_kind::session, notifications("CloseNotification"),
                                       closing(id_), bell_);
  }
}

}  // namespace vrnskdm::platform
