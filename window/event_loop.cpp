#include "event_loop.h"

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <climits>

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

tick_timer::tick_timer(supervision::watchdog& watchdog, std::function<void()> after_ticks,
                       platform::answer_bell* bell)
    : watchdog_{watchdog}, after_ticks_{std::move(after_ticks)} {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { run_due(); });
  if (bell != nullptr && bell->descriptor() >= 0) {
    bell_notifier_.emplace(bell->descriptor(), QSocketNotifier::Read);
    QObject::connect(&*bell_notifier_, &QSocketNotifier::activated, &timer_, [this, bell] {
      bell->silence();
      run_due();
    });
  }
}

void tick_timer::run_due() {
  watchdog_.run_due();
  after_ticks_();
  arm();
}

void tick_timer::arm() {
  const auto wait = watchdog_.time_until_due();
  if (!wait) {
    timer_.stop();
    return;
  }
  timer_.start(std::min(*wait, std::chrono::milliseconds{INT_MAX}));
}

}  // namespace vrnskdm::window
