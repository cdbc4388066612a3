#include "operator_check_box.h"

namespace vrnskdm::window {

operator_check_box::operator_check_box(const QString& text, QWidget* parent)
    : QCheckBox{text, parent} {
  setTristate(true);
}

void operator_check_box::nextCheckState() {
  if (on_click) on_click();
}

}  // namespace vrnskdm::window
