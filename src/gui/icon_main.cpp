// vesk-icon DIR: writes the program's icon as DIR/hicolor/NxN/apps/vesk.png
// for the sizes a desktop's application menu uses, and the same picture as
// the icon of the ".jmz" type, DIR/hicolor/NxN/mimetypes/
// application-x-vesk-jmz.png (a build step).
#include <iostream>
#include <utility>

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
    for (const auto& [context, name] : {std::pair{"apps", "vesk"}, std::pair{"mimetypes", "application-x-vesk-jmz"}}) {
      const QString folder = QString("%1/hicolor/%2x%2/%3").arg(root).arg(size).arg(context);
      const QString file = folder + "/" + name + ".png";
      if (!QDir().mkpath(folder) || !vesk::gui::DrawVeskIcon(size).save(file, "PNG")) {
        std::cerr << "vesk-icon: cannot write " << file.toStdString() << "\n";
        return 1;
      }
    }
  }
  return 0;
}
