#pragma once

#include <QWidget>

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vrnskdm::window {

class operator_check_box;

// The program's one window, with its controls where, as large and as labelled
// as designed, in their design state. It shows; it decides nothing.
class form1 final : public QWidget {
 public:
  static constexpr const char* caption = "VARNISKELDAM V.01.00";

  form1();

  QLabel& checking() const { return *checking_; }
  operator_check_box& reboot() const { return *reboot_; }
  QFrame& sfondo() const { return *sfondo_; }
  QLabel& warning() const { return *warning_; }
  QLineEdit& path() const { return *path_; }
  QLabel& label2() const { return *label2_; }
  QLabel& deleteme() const { return *deleteme_; }
  operator_check_box& reboot24() const { return *reboot24_; }
  QPushButton& save() const { return *save_; }
  QComboBox& reboot_time() const { return *reboot_time_; }

 private:
  QLabel* checking_;
  operator_check_box* reboot_;
  QFrame* sfondo_;
  QLabel* warning_;
  QLineEdit* path_;
  QLabel* label2_;
  QLabel* deleteme_;
  operator_check_box* reboot24_;
  QPushButton* save_;
  QComboBox* reboot_time_;
};

}  // namespace vrnskdm::window
