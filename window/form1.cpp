#include "form1.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <QStringList>
#include <string_view>

#include "application.h"
#include "supervision/window_model.h"

namespace vrnskdm::window {

namespace {

constexpr const char* design_family = "MS Sans Serif";

void install_stand_ins() {
  static const bool installed = [] {
    const QStringList stand_ins{QStringLiteral("Nimbus Sans"),     QStringLiteral("Nimbus Sans L"),
                                QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                                QStringLiteral("Helvetica"),       QStringLiteral("DejaVu Sans")};
    QFont::insertSubstitutions(design_family, stand_ins);
    return true;
  }();
  static_cast<void>(installed);
}

QString design_text(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The design is measured in twips, fifteen to a pixel.
constexpr int twips_per_pixel = 15;

QRect twips(int left, int top, int width, int height) {
  return {left / twips_per_pixel, top / twips_per_pixel, width / twips_per_pixel,
          height / twips_per_pixel};
}

template <typename Label = QLabel>
Label* label(const char* name, const QString& text, QRect place, QWidget* parent,
             Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter) {
  auto* control = new Label{text, parent};
  control->setObjectName(name);
  control->setGeometry(place);
  // Nothing lays the window out: with a fixed size, a new text asks the window
  // for no new layout.
  control->setFixedSize(place.size());
  // Filled with the colour its parent has behind it, so that a new text repaints
  // the label alone rather than the parent's background under it first.
  control->setAutoFillBackground(true);
  control->setAlignment(alignment);
  return control;
}

operator_check_box* check_box(const char* name, const QString& text, QRect place,
                              QWidget* parent) {
  auto* control = new operator_check_box{text, parent};
  control->setObjectName(name);
  control->setGeometry(place);
  return control;
}

constexpr Qt::Alignment centred = Qt::AlignHCenter | Qt::AlignVCenter;

}  // namespace

QFont design_font(double points) {
  install_stand_ins();
  QFont font{design_family};
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(points);
  font.setStretch(95);
  return font;
}

QColor design_colour(std::uint32_t bgr) {
  return QColor{static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                static_cast<int>((bgr >> 16) & 0xFF)};
}

Qt::CheckState check_state_of(std::int16_t value) {
  return value == 0 ? Qt::Unchecked : value == 1 ? Qt::Checked : Qt::PartiallyChecked;
}

operator_check_box::operator_check_box(const QString& text, QWidget* parent)
    : QCheckBox{text, parent} {
  setTristate(true);
}

void operator_check_box::nextCheckState() { emit toggle_requested(); }

form1::form1() {
  setObjectName("Form1");
  setWindowTitle(caption);
  setWindowIcon(application_icon());
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(twips(0, 0, 6360, 2160).size());
  setFont(design_font(design_points));

  // Created in tab order, which is the order the focus takes.
  checking_ = label<status_label>("checking", design_text(supervision::checking_design_text),
                    twips(150, 120, 6105, 255), this, centred);
  reboot_ = check_box("reboot", "Reboot On TELVANORE Lock", twips(3720, 1230, 2475, 315), this);
  reboot_->setCheckState(check_state_of(supervision::reboot_design_value));

  sfondo_ = new QFrame{this};
  sfondo_->setObjectName("sfondo");
  sfondo_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  sfondo_->setLineWidth(2);
  sfondo_->setGeometry(twips(180, 1620, 6045, 465));
  sfondo_->setAutoFillBackground(true);
  sfondo_->setFocusPolicy(Qt::StrongFocus);

  // The panel's place counts from inside its border.
  warning_ = label<status_label>(
      "warning", design_text(supervision::warning_design_text),
      twips(150, 90, 5745, 315).translated(sfondo_->contentsRect().topLeft()), sfondo_, centred);
  warning_->setFont(design_font(warning_points));

  path_ = new QLineEdit{design_text(supervision::path_design_text), this};
  path_->setObjectName("path");
  path_->setGeometry(twips(120, 1080, 2265, 345));

  label2_ = label("Label2", "TELVANORE path", twips(150, 780, 1590, 225), this);
  deleteme_ = label<status_label>("deleteme", "", twips(150, 450, 6105, 255), this, centred);
  reboot24_ = check_box("reboot24", "Reboot each", twips(3720, 810, 1365, 285), this);
  reboot24_->setCheckState(check_state_of(supervision::reboot24_design_value));

  save_ = new QPushButton{design_text(supervision::save_caption), this};
  save_->setObjectName("save");
  save_->setGeometry(twips(2490, 1080, 1005, 345));

  reboot_time_ = new QComboBox{this};
  reboot_time_->setObjectName("reboot_time");
  reboot_time_->setGeometry(twips(5070, 780, 1185, 315));
  // Made editable by giving it its text field: setEditable would also build the
  // drop-down's list window at once, which the drop-down builds alike when first
  // opened, and keep it in memory from the start (some 0.7 MiB).
  reboot_time_->setLineEdit(new QLineEdit{reboot_time_});
  // Typed text selects an entry only by its exact label, and never becomes one.
  reboot_time_->setInsertPolicy(QComboBox::NoInsert);
  reboot_time_->setCompleter(nullptr);

  setTabOrder(reboot_, sfondo_);
  setTabOrder(sfondo_, path_);
  setTabOrder(path_, reboot24_);
  setTabOrder(reboot24_, save_);
  setTabOrder(save_, reboot_time_);
  reboot_->setFocus();
}

}  // namespace vrnskdm::window
