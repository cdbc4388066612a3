#pragma once

class QApplication;

namespace vrnskdm::window {

// Names the application, gives it its icon and the one look its window was laid
// out for, whatever desktop it runs on.
void set_up_application(QApplication& application);

}  // namespace vrnskdm::window
