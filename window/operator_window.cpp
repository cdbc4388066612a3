#include "operator_window.h"

#include <QPushButton>

namespace vrnskdm::window {

operator_window::operator_window(supervision::watchdog& program, platform::answer_bell* bell)
    : program_{program},
      binding_{form_, program.parts().window},
      ticks_{program, [this] { binding_.show_model(); }, bell} {}

void operator_window::start() {
  program_.load();
  binding_.show_model();
  binding_.take_edits();
  QObject::connect(&form_.save(), &QPushButton::clicked, &form_, [this] {
    program_.save();
    after_handler();
  });
  validation_.emplace(form_, [this] {
    program_.validate_period();
    after_handler();
  });
  form_.show();
  ticks_.arm();
}

void operator_window::after_handler() {
  binding_.show_model();
  ticks_.arm();
}

}  // namespace vrnskdm::window
