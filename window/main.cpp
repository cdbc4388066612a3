#include <QApplication>
#include <cstdint>

#include "application_setup.h"
#include "operator_window.h"
#include "platform/answer_bell.h"
#include "platform/desktop_notifier.h"
#include "platform/journal.h"
#include "platform/logind_restarter.h"
#include "platform/posix_files.h"
#include "qt_event_pump.h"
#include "supervision/watchdog.h"

int main(int argc, char* argv[]) {
  QApplication application{argc, argv};
  vrnskdm::window::set_up_application(application);

  vrnskdm::platform::systemd_journal journal;
  vrnskdm::platform::posix_files files{&journal};
  vrnskdm::platform::real_clock clock;
  vrnskdm::window::qt_event_pump events;
  vrnskdm::platform::answer_bell logind_answered;
  vrnskdm::platform::logind_restarter restart{&logind_answered};
  vrnskdm::platform::real_process process;
  vrnskdm::platform::desktop_notifier notifications{&logind_answered};
  constexpr std::int16_t build_debug_mode = VRNSKDM_DEBUG_MODE_VALUE;
  vrnskdm::supervision::watchdog program{
      vrnskdm::platform::services{files, clock, events, restart, process, &journal, &notifications},
      build_debug_mode};

  vrnskdm::window::operator_window window{program, &logind_answered};
  window.start();
  return QApplication::exec();
}
