// Renders the window, as the program draws it, in two states: watching a live
// companion, and counting down after the companion fell silent. The pictures
// are the README's.
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <chrono>
#include <cstdio>

#include "running_window.h"
#include "window/application.h"

namespace {

using namespace std::chrono_literals;
using vrnskdm::testing::running_window;

// The companion's folder as an operator would have it, rather than the scratch
// folder's; it is shown, not watched.
bool save_picture(running_window& w, const QString& file) {
  w.model().path.text = "/opt/telvanore";
  w.form().path().setText("/opt/telvanore");
  QApplication::processEvents();
  return w.form().grab().save(file);
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

  running_window watching;
  watching.run.write_settings(1, 1, 3);
  watching.run.install_companion();
  watching.start();
  watching.run.beat();
  watching.advance(1s);
  const bool watched = save_picture(watching, folder.filePath("window.png"));

  running_window silent;
  silent.run.write_settings(1, 1, 0);
  silent.run.install_companion();
  silent.start();
  silent.advance(32s);
  const bool counted = save_picture(silent, folder.filePath("window-warning.png"));

  return watched && counted ? 0 : 1;
}
