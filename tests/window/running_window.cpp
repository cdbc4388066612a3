#include "running_window.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QStyleOptionComboBox>
#include <QTest>
#include <stdexcept>

namespace vrnskdm::testing {

running_window::running_window(platform::files* files)
    : run{supervision::build::debug, default_start(), files}, window{run.watchdog} {}

bool running_window::start() {
  window.start();
  form().activateWindow();
  return QTest::qWaitForWindowActive(&form());
}

void running_window::advance(std::chrono::milliseconds by) {
  const auto until = run.clock.monotonic() + by;
  for (auto due = run.watchdog.next_due(); due && *due <= until;
       due = run.watchdog.next_due()) {
    run.clock.advance_to(*due);
    window.ticks().arm();
    const auto still_due = [&] {
      const auto next = run.watchdog.next_due();
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

QRect selector_part(const QComboBox& selector, QStyle::SubControl part) {
  QStyleOptionComboBox option;
  option.initFrom(&selector);
  option.editable = selector.isEditable();
  return selector.style()->subControlRect(QStyle::CC_ComboBox, &option, part, &selector);
}

}  // namespace vrnskdm::testing
