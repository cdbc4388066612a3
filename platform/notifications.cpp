#include "notifications.h"

#include <systemd/sd-bus.h>

#include "bus_call.h"

namespace vrnskdm::platform {

namespace {

constexpr const char* program_name = "vrnskdm";
constexpr std::uint8_t urgency_critical = 2;
// Never expires: it goes when it is closed.
constexpr std::int32_t expire_never = 0;

// How long an ending program waits to take its notification off the screen.
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
// with the program, which waits a moment at most for that, and for the number
// of a showing still on its way.
desktop_notifier::~desktop_notifier() {
  if (call_) took(call_->wait(parting_wait));
  if (!on_screen_) return;
  bus_call close{bus_kind::session, notifications("CloseNotification"), closing(id_), nullptr,
                 parting_wait};
  close.wait(parting_wait);
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
  if (!call_ || !took(call_->take())) return;
  send_next();
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
  if (wanted_ && sent_serial_ != wanted_serial_) {
    sent_serial_ = wanted_serial_;
    call_shows_ = true;
    call_ = std::make_unique<bus_call>(
        bus_kind::session, notifications("Notify"),
        [shown = *wanted_, replaces = on_screen_ ? id_ : 0](sd_bus_message* message) {
          return sd_bus_message_append(message, "susssasa{sv}i", program_name, replaces, program_name,
                                       shown.summary.c_str(), shown.body.c_str(), 0, 1, "urgency",
                                       "y", urgency_critical, expire_never);
        },
        bell_);
  } else if (!wanted_ && on_screen_) {
    on_screen_ = false;
    call_shows_ = false;
    call_ = std::make_unique<bus_call>(bus_kind::session, notifications("CloseNotification"),
                                       closing(id_), bell_);
  }
}

}  // namespace vrnskdm::platform
