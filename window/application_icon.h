#pragma once

#include <QIcon>

namespace vrnskdm::window {

// The program's icon: a heartbeat trace on a dark screen over the warning
// panel's red and green, drawn at each size rather than scaled.
QIcon application_icon();

}  // namespace vrnskdm::window
