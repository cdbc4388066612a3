#include "tick_timer.h"

#include <algorithm>
#include <climits>

namespace vrnskdm::window {

tick_timer::tick_timer(supervision::watchdog& program, std::function<void()> after_ticks,
                       platform::answer_bell* bell)
    : program_{program}, after_ticks_{std::move(after_ticks)} {
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
  program_.run_due();
  after_ticks_();
  arm();
}

void tick_timer::arm() {
  const auto due = program_.next_due();
  if (!due) {
    timer_.stop();
    return;
  }
  const auto wait = *due - program_.parts().platform.time.monotonic();
  timer_.start(std::clamp<std::chrono::milliseconds>(wait, std::chrono::milliseconds{0},
                                                     std::chrono::milliseconds{INT_MAX}));
}

}  // namespace vrnskdm::window
