#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <ctime>

#include "window/event_loop.h"

namespace vrnskdm::window {

namespace {

double processor_seconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

}  // namespace

class QtEventPumpTest : public QObject {
  Q_OBJECT

 private slots:
  void handlesWhatIsPending();
  // The start-up polls the clock through the pump for nine seconds: the loop must
  // sleep between polls, yet poll often enough to see a new second promptly.
  void aLoopAroundItSleepsBetweenPolls();
};

void QtEventPumpTest::handlesWhatIsPending() {
  qt_event_pump pump;
  bool handled = false;
  QTimer::singleShot(0, this, [&handled] { handled = true; });
  pump.pump_events();
  QVERIFY(handled);
}

void QtEventPumpTest::aLoopAroundItSleepsBetweenPolls() {
  qt_event_pump pump;
  constexpr int loop_ms = 500;
  const double processor_before = processor_seconds();
  QElapsedTimer wall;
  wall.start();
  int polls = 0;
  while (wall.elapsed() < loop_ms) {
    pump.pump_events();
    ++polls;
  }
  const double processor_used = processor_seconds() - processor_before;
  QVERIFY2(processor_used < 0.01, qPrintable(QString::number(processor_used)));
  // At least every tenth of a second.
  QVERIFY2(polls >= loop_ms / 100, qPrintable(QString::number(polls)));
}

}  // namespace vrnskdm::window

QTEST_MAIN(vrnskdm::window::QtEventPumpTest)
#include "event_loop_test.moc"
