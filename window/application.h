#pragma once

// The application around the window: its name, version, style and font, and
// its icon, which the packaging also draws into the icon files it installs.

#include <QIcon>
#include <QImage>
#include <array>

class QApplication;

namespace vrnskdm::window {

// Names the application, gives it its icon and the one look its window was laid
// out for, whatever desktop it runs on.
void set_up_application(QApplication& application);

// The sizes, in pixels, at which the icon is drawn for the window and installed
// for the desktop's menus and task bars.
inline constexpr std::array<int, 7> application_icon_sizes{16, 24, 32, 48, 64, 128, 256};

// The program's icon at one size: a heartbeat trace on a dark screen over the
// warning panel's red and green, drawn at that size rather than scaled. Needs no
// running application, so that the icon files can be drawn at build time.
QImage application_icon_image(int size);

// The icon, drawn at each of application_icon_sizes when a size is asked for.
QIcon application_icon();

}  // namespace vrnskdm::window
