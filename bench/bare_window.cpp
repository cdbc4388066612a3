// The toolkit's floor: a Qt application that shows one window of Form1's size
// and does nothing else, built as the watchdog is. What the watchdog's memory
// exceeds this by is its own.
//
//   bare-window [TEXT]
//
// Given a text, the window shows it in a label, one line at the top: the floor
// of a window that shows any text at all, fonts and their machinery included.
#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int argc, char* argv[]) {
  QApplication application{argc, argv};
  QWidget window;
  window.resize(424, 144);
  if (argc > 1) {
    auto* label = new QLabel{QString::fromLocal8Bit(argv[1]), &window};
    label->setGeometry(10, 8, 407, 17);
  }
  window.show();
  return QApplication::exec();
}
