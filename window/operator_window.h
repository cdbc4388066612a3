#pragma once

// The window Form1 bound to the watchdog: its timer ticks, the operator's edits
// and actions run the handlers, and after each handler the window shows what it
// did.

#include <QMetaObject>

#include "event_loop.h"
#include "form1.h"
#include "model_binding.h"
#include "platform/bus_call.h"
#include "supervision/watchdog.h"

namespace vrnskdm::window {

class operator_window {
 public:
  // The bell rings when logind or the notification service has answered; it
  // may be null.
  explicit operator_window(supervision::watchdog& watchdog, platform::answer_bell* bell = nullptr);
  ~operator_window();
  operator_window(const operator_window&) = delete;
  operator_window& operator=(const operator_window&) = delete;

  // Runs the start-up, and only when it has finished binds the controls to the
  // handlers, shows the window and starts the timers: no handler runs before.
  void start();

  form1& form() { return form_; }
  tick_timer& ticks() { return ticks_; }

 private:
  void after_handler();

  supervision::watchdog& watchdog_;
  form1 form_;
  model_binding binding_;
  tick_timer ticks_;
  QMetaObject::Connection period_validation_;
};

}  // namespace vrnskdm::window
