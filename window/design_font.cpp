#include "design_font.h"

#include <QStringList>

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

}  // namespace

QFont design_font(double points) {
  install_stand_ins();
  QFont font{design_family};
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(points);
  font.setStretch(95);
  return font;
}

}  // namespace vrnskdm::window
