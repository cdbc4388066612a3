#include "application_setup.h"

#include <QApplication>
#include <QStyleFactory>

#include "application_icon.h"
#include "design_font.h"

namespace vrnskdm::window {

void set_up_application(QApplication& application) {
  application.setApplicationName("vrnskdm");
  application.setApplicationVersion(QStringLiteral(VRNSKDM_VERSION));
  // The controls sit at fixed places and sizes; another style's wider frames or
  // margins would clip their texts.
  application.setStyle(QStyleFactory::create("Fusion"));
  QApplication::setFont(design_font(design_points));
  application.setWindowIcon(application_icon());
  // Desktops that know windows by the entry that started them (Wayland's
  // application id) find the installed vrnskdm.desktop, with the same icon.
  QGuiApplication::setDesktopFileName("vrnskdm");
}

}  // namespace vrnskdm::window
