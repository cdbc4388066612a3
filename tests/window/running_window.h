#pragma once

#include <QRect>
#include <QStyle>
#include <chrono>
#include <string>

#include "support/simulated_watchdog.h"
#include "window/operator_window.h"

class QComboBox;

namespace vrnskdm::testing {

// The program in debug mode on simulated time, in a scratch folder, with its
// window.
class running_window {
 public:
  explicit running_window(platform::files* files = nullptr);

  // The start-up, then the window shown; true once it has the keyboard.
  bool start();

  // Moves simulated time on by the time given, stopping at each moment a tick
  // falls due, where the window's own timer runs the ticks and the window shows
  // what they did, as it would at that moment in real time.
  void advance(std::chrono::milliseconds by);

  window::form1& form() { return window.form(); }
  supervision::supervisor_state& state() { return run.state(); }
  supervision::window_model& model() { return run.window(); }
  std::string settings() const { return run.dir.read("vrnskdm.ini"); }

  simulated_watchdog run;
  window::operator_window window;
};

// Where a part of the selector lies, its text field or its drop-down button.
QRect selector_part(const QComboBox& selector, QStyle::SubControl part);

}  // namespace vrnskdm::testing
