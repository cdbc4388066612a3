#include "operator_window.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>

namespace vrnskdm::window {

namespace {

bool within(const QWidget* widget, const QWidget& control) {
  return widget == &control || (widget != nullptr && control.isAncestorOf(widget));
}

}  // namespace

operator_window::operator_window(supervision::watchdog& watchdog, platform::answer_bell* bell)
    : watchdog_{watchdog},
      binding_{form_, watchdog.supervisor().window, watchdog.supervisor().platform.system_log},
      ticks_{watchdog, [this] { binding_.show_model(); }, bell} {}

operator_window::~operator_window() { QObject::disconnect(period_validation_); }

void operator_window::start() {
  watchdog_.load();
  binding_.show_model();
  binding_.take_edits();
  QObject::connect(&form_.save(), &QPushButton::clicked, &form_, [this] {
    watchdog_.save();
    after_handler();
  });
  // The period selector is validated when the focus moves from it to another
  // control of the window, by Tab, Shift+Tab or a click, the save button
  // included. Decided by where the focus went rather than by the reason Qt
  // gives: opening the drop-down alone takes the focus away from the selector
  // twice, and the focus leaving for another application is no move to another
  // control.
  period_validation_ = QObject::connect(
      qApp, &QApplication::focusChanged, &form_, [this](QWidget* from, QWidget* to) {
        const QComboBox& selector = form_.reboot_time();
        if (within(from, selector) && to != nullptr && to->window() == &form_ &&
            !within(to, selector)) {
          watchdog_.validate_period();
          after_handler();
        }
      });
  form_.show();
  ticks_.arm();
}

void operator_window::after_handler() {
  binding_.show_model();
  ticks_.arm();
}

}  // namespace vrnskdm::window
