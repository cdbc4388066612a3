#pragma once

#include <optional>

#include "form1.h"
#include "model_binding.h"
#include "period_validation.h"
#include "supervision/watchdog.h"
#include "tick_timer.h"

namespace vrnskdm::window {

// The window Form1 bound to the watchdog: its timer ticks, the operator's edits
// and actions run the handlers, and after each handler the window shows what it
// did.
class operator_window {
 public:
  // The bell rings when logind or the notification service has answered; it
  // may be null.
  explicit operator_window(supervision::watchdog& program, platform::answer_bell* bell = nullptr);

  // Runs the start-up, and only when it has finished binds the controls to the
  // handlers, shows the window and starts the timers: no handler runs before.
  void start();

  form1& form() { return form_; }
  tick_timer& ticks() { return ticks_; }

 private:
  void after_handler();

  supervision::watchdog& program_;
  form1 form_;
  model_binding binding_;
  tick_timer ticks_;
  std::optional<period_validation> validation_;
};

}  // namespace vrnskdm::window
