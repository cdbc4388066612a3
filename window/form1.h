#pragma once

// The window Form1 as designed: its controls at their places and sizes, with
// their texts, fonts and colours, in their design state. It shows; it decides
// nothing.

#include <QCheckBox>
#include <QColor>
#include <QFont>
#include <QWidget>
#include <cstdint>

#include "status_label.h"

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vrnskdm::window {

// Sizes in points of the window's font and of the warning text.
inline constexpr double design_points = 8;
inline constexpr double warning_points = 9.75;

// The font the window was designed with, "MS Sans Serif", at the size given.
// Where that font is not installed a sans serif of the same proportions stands
// in, so that the texts fill their controls as designed.
QFont design_font(double points);

// A colour of the design, given as 0x00BBGGRR.
QColor design_colour(std::uint32_t bgr);

// How a check box shows its value: 0 unchecked, 1 checked, 2 grayed.
Qt::CheckState check_state_of(std::int16_t value);

// A check box that shows checked, unchecked or grayed as it is told, and leaves
// what a click does to whoever listens: the operator toggles between checked and
// unchecked, and grayed comes only from the settings file, so Qt must never step
// through grayed on its own.
class operator_check_box final : public QCheckBox {
  Q_OBJECT

 public:
  operator_check_box(const QString& text, QWidget* parent);

 signals:
  // For each click or Space press, instead of Qt's own next state.
  void toggle_requested();

 protected:
  void nextCheckState() override;
};

class form1 final : public QWidget {
 public:
  static constexpr const char* caption = "VARNISKELDAM V.01.00";

  form1();

  status_label& checking() const { return *checking_; }
  operator_check_box& reboot() const { return *reboot_; }
  QFrame& sfondo() const { return *sfondo_; }
  status_label& warning() const { return *warning_; }
  QLineEdit& path() const { return *path_; }
  QLabel& label2() const { return *label2_; }
  status_label& deleteme() const { return *deleteme_; }
  operator_check_box& reboot24() const { return *reboot24_; }
  QPushButton& save() const { return *save_; }
  QComboBox& reboot_time() const { return *reboot_time_; }

 private:
  status_label* checking_;
  operator_check_box* reboot_;
  QFrame* sfondo_;
  status_label* warning_;
  QLineEdit* path_;
  QLabel* label2_;
  status_label* deleteme_;
  operator_check_box* reboot24_;
  QPushButton* save_;
  QComboBox* reboot_time_;
};

}  // namespace vrnskdm::window
