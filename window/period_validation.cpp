#include "period_validation.h"

#include <QApplication>
#include <QComboBox>

#include "form1.h"

namespace vrnskdm::window {

namespace {

bool within(const QWidget* widget, const QWidget& control) {
  return widget == &control || (widget != nullptr && control.isAncestorOf(widget));
}

}  // namespace

period_validation::period_validation(form1& form, std::function<void()> validate) {
  // Decided by where the focus went rather than by the reason Qt gives: opening
  // the drop-down alone takes the focus away from the selector twice.
  connection_ = QObject::connect(
      qApp, &QApplication::focusChanged, &form,
      [&form, validate = std::move(validate)](QWidget* from, QWidget* to) {
        const QComboBox& selector = form.reboot_time();
        if (within(from, selector) && to != nullptr && to->window() == &form &&
            !within(to, selector)) {
          validate();
        }
      });
}

period_validation::~period_validation() { QObject::disconnect(connection_); }

}  // namespace vrnskdm::window
