#include "warning_notification.h"

#include "platform/text.h"

namespace vrnskdm::supervision {

namespace {

platform::notification restart_warning() {
  return {"The machine restarts in " + platform::number_text(countdown_start) + " seconds",
          "TELVANORE does not respond."};
}

}  // namespace

void notify_warning(supervisor& s) {
  if (s.warning_notified) return;
  s.warning_notified = true;
  if (s.platform.notifications != nullptr) s.platform.notifications->show(restart_warning());
}

void withdraw_warning(supervisor& s) {
  if (!s.warning_notified) return;
  s.warning_notified = false;
  if (s.platform.notifications != nullptr) s.platform.notifications->close();
}

void take_notification_replies(supervisor& s) {
  if (s.platform.notifications != nullptr) s.platform.notifications->take_replies();
}

}  // namespace vrnskdm::supervision
