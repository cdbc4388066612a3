#pragma once

#include <QMetaObject>
#include <functional>

namespace vrnskdm::window {

class form1;

// Runs the validation of the period selector when the focus moves from it to
// another control of the window, by Tab, Shift+Tab or a click, the save button
// included. The focus leaving for another application, or for the selector's
// own drop-down, is no move to another control and validates nothing.
class period_validation {
 public:
  period_validation(form1& form, std::function<void()> validate);
  ~period_validation();
  period_validation(const period_validation&) = delete;
  period_validation& operator=(const period_validation&) = delete;

 private:
  QMetaObject::Connection connection_;
};

}  // namespace vrnskdm::window
