#include "countdown_tick.h"

#include <cmath>

#include "platform/text.h"
#include "warning_notification.h"

namespace vrnskdm::supervision {

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

  if (state.raised == 0) {
    window.form.restore_and_show();
    // Until the outage ends, so that no other window covers the warning.
    window.form.keep_on_top(true);
    state.raised = 1;
  }
  if (state.countdown > 0) state.countdown -= step;

  state.blink = state.blink == 0 ? 1 : 0;
  window.sfondo.back_color = state.blink == 1 ? warning_red : warning_green;

  const bool shown = window.reboot.value() == 1;
  if (shown) window.warning.caption = warning_text(state.countdown);
  window.warning.enabled = shown;
  window.sfondo.enabled = shown;
  window.sfondo.visible = shown;
  if (shown) {
    notify_warning(s);
  } else {
    state.countdown = countdown_start;
    withdraw_warning(s);
  }
}

}  // namespace vrnskdm::supervision
