#include "gui/application.h"

#include <QApplication>
#include <QLocale>

#include "gui/icon.h"
#include "gui/translations.h"

namespace vesk::gui {

void SetUpApplication(QApplication& app) {
  QApplication::setApplicationName("vesk");
  QGuiApplication::setDesktopFileName("vesk");
  QApplication::setWindowIcon(VeskIcon());
  InstallQtTexts(app, ShownLanguage());
}

}  // namespace vesk::gui
