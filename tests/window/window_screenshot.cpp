// Renders the window, as the program draws it, in two states: watching a live
// companion, and counting down after the companion fell silent. The pictures
// are the README's.
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <chrono>
#include <cstdio>

#include "support/simulated_watchdog.h"
#include "window_time.h"
#include "window/application_setup.h"
#include "window/operator_window.h"

namespace {

using namespace std::chrono_literals;
using vrnskdm::testing::advance_window;
using vrnskdm::testing::simulated_watchdog;

// The companion's folder as an operator would have it, rather than the
// scratch folder's; it is shown, not watched.
void show_folder(simulated_watchdog& run, vrnskdm::window::operator_window& window) {
  run.window().path.text = "/opt/telvanore";
  window.form().path().setText("/opt/telvanore");
}

bool save_picture(vrnskdm::window::operator_window& window, const QString& file) {
  QApplication::processEvents();
  return window.form().grab().save(file);
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication application{argc, argv};
  vrnskdm::window::set_up_application(application);
  if (argc != 2) {
    std::fprintf(stderr, "usage: window_screenshot FOLDER\n");
    return 2;
  }
  // Taken before the scratch folders become the working folder.
  const QDir folder{QDir{QString::fromLocal8Bit(argv[1])}.absolutePath()};

  simulated_watchdog watching{1};
  watching.write_settings(1, 1, 3);
  watching.install_companion();
  vrnskdm::window::operator_window watching_window{watching.program};
  watching_window.start();
  watching.beat();
  advance_window(watching, watching_window, 1s);
  show_folder(watching, watching_window);
  const bool watched = save_picture(watching_window, folder.filePath("window.png"));

  simulated_watchdog silent{1};
  silent.write_settings(1, 1, 0);
  silent.install_companion();
  vrnskdm::window::operator_window silent_window{silent.program};
  silent_window.start();
  advance_window(silent, silent_window, 32s);
  show_folder(silent, silent_window);
  const bool counted = save_picture(silent_window, folder.filePath("window-warning.png"));

  return watched && counted ? 0 : 1;
}
