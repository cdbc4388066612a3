#pragma once

#include <QCheckBox>
#include <functional>

namespace vrnskdm::window {

// A check box that shows checked, unchecked or grayed as it is told, and leaves
// what a click does to whoever listens: the operator toggles between checked and
// unchecked, and grayed comes only from the settings file, so Qt must never step
// through grayed on its own.
class operator_check_box final : public QCheckBox {
 public:
  operator_check_box(const QString& text, QWidget* parent);

  // Run for each click or Space press, instead of Qt's own next state.
  std::function<void()> on_click;

 protected:
  void nextCheckState() override;
};

}  // namespace vrnskdm::window
