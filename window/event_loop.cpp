#include "event_loop.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <iterator>

namespace vrnskdm::window {

namespace {

constexpr std::chrono::milliseconds longest_pause{50};

// The pipe's end a signal handler writes to: all a handler may safely do.
int stop_pipe = -1;

void ask_to_stop(int /*signal*/) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(stop_pipe, &byte, 1);
}

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

stop_on_signals::stop_on_signals() {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return;  // the signals then end it as before
  read_end_ = ends[0];
  stop_pipe = ends[1];
  notifier_.emplace(read_end_, QSocketNotifier::Read);
  QObject::connect(&*notifier_, &QSocketNotifier::activated, &*notifier_, [this] {
    notifier_->setEnabled(false);
    // Before the event loop runs, the stop comes during the start-up's wait
    // for the clock: nothing was started yet, and nothing is written.
    if (QThread::currentThread()->loopLevel() == 0) std::_Exit(EXIT_SUCCESS);
    QCoreApplication::quit();
  });
  struct sigaction action {};
  action.sa_handler = ask_to_stop;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (std::size_t each = 0; each < std::size(stop_signals); ++each) {
    ::sigaction(stop_signals[each], nullptr, &before_[each]);
    // One ignored at the start stays ignored, as nohup and a shell's
    // background jobs expect; SIGTERM, the session's own stop, never is.
    if (stop_signals[each] != SIGTERM && before_[each].sa_handler == SIG_IGN) continue;
    ::sigaction(stop_signals[each], &action, nullptr);
  }
}

stop_on_signals::~stop_on_signals() {
  if (read_end_ < 0) return;
  for (std::size_t each = 0; each < std::size(stop_signals); ++each) {
    ::sigaction(stop_signals[each], &before_[each], nullptr);
  }
  ::close(stop_pipe);
  ::close(read_end_);
  stop_pipe = -1;
}

}  // namespace vrnskdm::window
