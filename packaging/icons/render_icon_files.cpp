// Writes the program's icon, as the window draws it, into a hicolor icon theme
// tree: FOLDER/NxN/apps/vrnskdm.png for each size the window uses.
//
//   render_icon_files FOLDER

#include <QDir>
#include <cstdio>

#include "window/application.h"

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: render_icon_files FOLDER\n");
    return 2;
  }
  const QDir theme{QString::fromLocal8Bit(argv[1])};
  for (const int size : vrnskdm::window::application_icon_sizes) {
    const QString folder = QStringLiteral("%1x%1/apps").arg(size);
    const QString file = theme.filePath(folder + "/vrnskdm.png");
    if (!theme.mkpath(folder) || !vrnskdm::window::application_icon_image(size).save(file, "PNG")) {
      std::fprintf(stderr, "render_icon_files: cannot write %s\n", qPrintable(file));
      return 1;
    }
  }
  return 0;
}
