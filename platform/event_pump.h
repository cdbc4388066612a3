#pragma once

namespace vrnskdm::platform {

// Lets the window handle what is pending while the start-up waits.
class event_pump {
 public:
  virtual ~event_pump() = default;

  // Handles pending window events, then returns; may wait a little for more, so
  // that a loop around it does not spin a core.
  virtual void pump_events() = 0;
};

}  // namespace vrnskdm::platform
