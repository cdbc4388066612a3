#include "window_time.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <stdexcept>

namespace vrnskdm::testing {

void advance_window(simulated_watchdog& run, window::operator_window& window,
                    std::chrono::milliseconds by) {
  const auto until = run.clock.monotonic() + by;
  for (auto due = run.program.next_tick_due(); due && *due <= until;
       due = run.program.next_tick_due()) {
    run.clock.advance_to(*due);
    window.ticks().arm();
    const auto still_due = [&] {
      const auto next = run.program.next_tick_due();
      return next && *next <= *due;
    };
    const QDeadlineTimer patience{5000};
    while (still_due()) {
      if (patience.hasExpired()) throw std::runtime_error("the window's timer did not fire");
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
  }
  run.clock.advance_to(until);
  window.ticks().arm();
}

}  // namespace vrnskdm::testing
