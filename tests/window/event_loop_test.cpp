#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <poll.h>

#include <csignal>
#include <ctime>

#include "support/simulated_watchdog.h"
#include "window/event_loop.h"

namespace vrnskdm::window {

namespace {

double processor_seconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

bool readable(const platform::answer_bell& bell) {
  pollfd ready{bell.descriptor(), POLLIN, 0};
  return ::poll(&ready, 1, 0) > 0;
}

}  // namespace

class QtEventPumpTest : public QObject {
  Q_OBJECT

 private slots:
  void handlesWhatIsPending();
  // The start-up polls the clock through the pump for nine seconds: the loop must
  // sleep between polls, yet poll often enough to see a new second promptly.
  void aLoopAroundItSleepsBetweenPolls();
  // An answer's bell wakes the loop once, and is silenced: the loop then sleeps
  // until the next tick, rather than wake again and again for the same ring.
  void theAnswerBellWakesTheLoopOnceARing();
  // nohup, and a shell's background jobs, start the program with SIGHUP or
  // SIGINT ignored, and expect it to outlive the session; SIGTERM still ends
  // it, and each signal is as it was once the program ends.
  void aSignalIgnoredAtTheStartStaysIgnored();
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

void QtEventPumpTest::theAnswerBellWakesTheLoopOnceARing() {
  testing::simulated_watchdog run;
  run.load();
  platform::answer_bell bell;
  int batches = 0;
  tick_timer timer{run.watchdog, [&batches] { ++batches; }, &bell};
  timer.arm();
  for (int ring = 1; ring <= 2; ++ring) {
    bell.ring();
    QTRY_COMPARE(batches, ring);
    QTest::qWait(100);  // and no more
    QCOMPARE(batches, ring);
    QVERIFY(!readable(bell));
  }
}

void QtEventPumpTest::aSignalIgnoredAtTheStartStaysIgnored() {
  struct row {
    int signal;
    bool ignored_at_start;
    bool ends_the_loop;
  };
  const row rows[] = {{SIGHUP, true, false},  {SIGINT, true, false}, {SIGTERM, true, true},
                      {SIGHUP, false, true},  {SIGINT, false, true}, {SIGTERM, false, true}};
  for (const row& r : rows) {
    const auto at_start = r.ignored_at_start ? SIG_IGN : SIG_DFL;
    std::signal(r.signal, at_start);
    bool ended_by_signal = true;
    {
      const stop_on_signals stop;
      QTimer::singleShot(0, [&r] { ::raise(r.signal); });
      QTimer::singleShot(500, [&ended_by_signal] {
        ended_by_signal = false;
        QCoreApplication::quit();
      });
      QCoreApplication::exec();
    }
    QCOMPARE(ended_by_signal, r.ends_the_loop);
    QVERIFY(std::signal(r.signal, SIG_DFL) == at_start);
  }
}

}  // namespace vrnskdm::window

QTEST_MAIN(vrnskdm::window::QtEventPumpTest)
#include "event_loop_test.moc"
