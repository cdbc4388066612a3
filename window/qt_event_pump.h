#pragma once

#include <QTimer>

#include "platform/clock.h"

namespace vrnskdm::window {

// Lets Qt handle what is pending, then sleeps until more comes or a short pause
// has passed: the start-up's wait for the clock polls it in a loop for nine
// seconds, and must neither spin a core nor notice a new second late.
class qt_event_pump final : public platform::event_pump {
 public:
  qt_event_pump();
  void pump_events() override;

 private:
  QTimer wake_;
};

}  // namespace vrnskdm::window
