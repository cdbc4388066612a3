#include "qt_event_pump.h"

#include <QCoreApplication>
#include <chrono>

namespace vrnskdm::window {

namespace {

constexpr std::chrono::milliseconds longest_pause{50};

}  // namespace

qt_event_pump::qt_event_pump() {
  wake_.setSingleShot(true);
  wake_.setTimerType(Qt::PreciseTimer);
}

void qt_event_pump::pump_events() {
  wake_.start(longest_pause);
  QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

}  // namespace vrnskdm::window
