#include <QApplication>
#include <cstdint>
#include <filesystem>
#include <string>

#include "application_setup.h"
#include "operator_window.h"
#include "platform/bus_call.h"
#include "platform/notifications.h"
#include "platform/files.h"
#include "platform/journal.h"
#include "platform/restart.h"
#include "qt_event_pump.h"
#include "supervision/watchdog.h"

namespace {

// The exit status of a start that found another watchdog in its folder: a status
// of its own, which the user unit does not restart on (RestartPreventExitStatus=).
constexpr int folder_taken_status = 3;

}  // namespace

int main(int argc, char* argv[]) {
  // Before anything reads or writes the folder's files; held until the end.
  const vrnskdm::platform::folder_lock folder{"."};
  if (folder.taken_elsewhere()) {
    std::error_code unknown;
    const std::string path = std::filesystem::current_path(unknown).string();
    vrnskdm::platform::systemd_journal{}.warn("a watchdog already runs in " + path +
                                              "; this one ends without touching its files");
    return folder_taken_status;
  }

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
