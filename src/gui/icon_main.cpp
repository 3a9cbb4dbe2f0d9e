// vesk-icon DIR: writes the program's icon as DIR/hicolor/NxN/apps/vesk.png
// for the sizes a desktop's application menu uses (a build step).
#include <iostream>

#include <QDir>
#include <QGuiApplication>
#include <QString>

#include "gui/icon.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: vesk-icon DIR\n";
    return 2;
  }
  const QString root = QString::fromLocal8Bit(argv[1]);
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    const QString folder = QString("%1/hicolor/%2x%2/apps").arg(root).arg(size);
    if (!QDir().mkpath(folder) || !vesk::gui::DrawVeskIcon(size).save(folder + "/vesk.png", "PNG")) {
      std::cerr << "vesk-icon: cannot write " << folder.toStdString() << "/vesk.png\n";
      return 1;
    }
  }
  return 0;
}
