// The program vrnskdm: the watchdog on the machine's own files, clock, logind
// and desktop, in its window.

#include <QApplication>
#include <csignal>
#include <filesystem>
#include <string>

#include "application.h"
#include "event_loop.h"
#include "operator_window.h"
#include "platform/bus_call.h"
#include "platform/files.h"
#include "platform/journal.h"
#include "platform/notifications.h"
#include "platform/process.h"
#include "platform/restart.h"
#include "supervision/watchdog.h"

namespace {

// The exit status of a start that found another watchdog in its folder: a status
// of its own, which the user unit does not restart on (RestartPreventExitStatus=).
constexpr int folder_taken_status = 3;

}  // namespace

int main(int argc, char* argv[]) {
  // A reader that went away (of standard error, a display's connection) fails
  // the write that reaches it, instead of ending the watchdog; set before any
  // thread starts, so that every thread has it.
  std::signal(SIGPIPE, SIG_IGN);
  // Before anything reads or writes the folder's files; held until the end.
  const vrnskdm::platform::folder_lock folder{"."};
  if (folder.taken_elsewhere()) {
    std::error_code unknown;
    const std::string path = std::filesystem::current_path(unknown).string();
    vrnskdm::platform::systemd_journal journal;
    journal.set_folders(path, "");
    journal.warn(
        vrnskdm::platform::event::folder_taken,
        "a watchdog already runs in " + path + "; this one ends without touching its files");
    return folder_taken_status;
  }

  QApplication application{argc, argv};
  vrnskdm::window::set_up_application(application);

  vrnskdm::platform::systemd_journal journal;
  // Every file of the folder is reached from the descriptor the lock holds.
  vrnskdm::platform::posix_files files{&journal, folder.descriptor()};
  vrnskdm::platform::real_clock clock;
  vrnskdm::window::qt_event_pump events;
  // Rings when logind or the desktop's notification service has answered.
  vrnskdm::platform::answer_bell answered;
  vrnskdm::platform::logind_restarter restart{&answered};
  vrnskdm::platform::real_process process;
  vrnskdm::platform::desktop_notifier notifications{&answered};
  constexpr auto kind = VRNSKDM_DEBUG_MODE_VALUE ? vrnskdm::supervision::build::debug
                                                 : vrnskdm::supervision::build::shipped;
  vrnskdm::supervision::watchdog watchdog{
      vrnskdm::platform::services{files, clock, events, restart, process, &journal, &notifications},
      kind};

  const vrnskdm::window::stop_on_signals stop;
  vrnskdm::window::operator_window window{watchdog, &answered};
  window.start();
  const int status = QApplication::exec();
  watchdog.end();
  return status;
}
