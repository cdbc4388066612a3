#include "window_stacking.h"

#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

namespace vrnskdm::window {

namespace {

bool on_wayland() { return QGuiApplication::platformName().startsWith(QLatin1String{"wayland"}); }

}  // namespace

void bring_up(QWidget& window) {
  if (on_wayland()) {
    window.hide();
    window.showNormal();
    return;
  }
  window.showNormal();
  window.raise();
  window.activateWindow();
}

void keep_on_top(QWidget& window, bool on) {
  if (on_wayland()) return;
  // Set on the native window, which a shown window's window manager is asked to
  // change in place. The widget's own setWindowFlag would give it a new native
  // window, hidden, and a window shown again that way is no longer the
  // application's active window, although it has the keyboard.
  window.winId();  // the native window, made now where there is none yet
  window.windowHandle()->setFlag(Qt::WindowStaysOnTopHint, on);
}

}  // namespace vrnskdm::window
