// vesk: the window of Vesk 文件加密.
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include <QApplication>
#include <QStringList>

#include "gui/application.h"
#include "gui/display.h"
#include "gui/gui_session.h"
#include "gui/qt_dialog_provider.h"

int main(int argc, char** argv) {
  if (!vesk::gui::DisplayAvailable()) {
    std::cerr << vesk::gui::NoDisplayMessage();
    return 1;
  }
  QApplication app(argc, argv);
  vesk::gui::SetUpApplication(app);
  QApplication::setApplicationVersion(PROJECT_VERSION_TEXT);

  // Qt has taken its own options out; the rest is the program's command line.
  std::vector<std::string> args;
  const QStringList arguments = QApplication::arguments();
  for (qsizetype i = 1; i < arguments.size(); ++i) args.push_back(arguments[i].toStdString());

  try {
    vesk::gui::QtDialogProvider dialogs;
    vesk::gui::GuiSession session(dialogs);
    session.Start(args);
    // Scripts that start the window read what its status line says after
    // start-up (for example the payload a self-decrypting file carries).
    if (const char* echo = std::getenv("VESK_ECHO_STATUS"); echo != nullptr && std::string(echo) == "1") {
      std::cerr << session.Window().StatusText() << std::endl;
    }
    session.Show();
    return QApplication::exec();
  } catch (...) {
    QApplication::beep();
    return 1;
  }
}
