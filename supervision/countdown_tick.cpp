#include "countdown_tick.h"

#include <cmath>

#include "platform/text.h"

namespace vrnskdm::supervision {

namespace {

platform::notification restart_warning() {
  return {"The machine restarts in " + platform::number_text(countdown_start) + " seconds",
          "TELVANORE does not respond."};
}

void notify_warning(supervisor& s) {
  if (s.warning_notified) return;
  s.warning_notified = true;
  if (s.platform.notifications != nullptr) s.platform.notifications->show(restart_warning());
}

}  // namespace

std::string warning_text(double countdown) {
  return "WARNING! SYSTEM REBOOT IN " + platform::number_text(std::floor(countdown)) +
         " SECONDS!";
}

void countdown_tick(supervisor& s) {
  supervisor_state& state = s.state;
  window_model& window = s.window;

  const bool last_half_minute = state.countdown < 30;
  const double step = last_half_minute ? 0.5 : 1.0;
  window.timer2.set_interval(last_half_minute ? 500 : 1000);

  if (!state.raised) {
    window.form.restore_and_show();
    state.raised = true;
  }
  if (state.countdown > 0) state.countdown -= step;

  state.blink = !state.blink;
  window.sfondo.back_color = state.blink ? warning_red : warning_green;

  const bool shown = window.reboot.value() == 1;
  if (shown) window.warning.caption = warning_text(state.countdown);
  window.warning.enabled = shown;
  window.sfondo.enabled = shown;
  window.sfondo.visible = shown;
  // While the warning shows, no other window covers it.
  window.form.keep_on_top(shown);
  if (shown) {
    notify_warning(s);
  } else {
    state.countdown = countdown_start;
    withdraw_warning(s);
  }
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
