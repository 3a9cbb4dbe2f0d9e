// vesk: the window of Vesk 文件加密.
#include <cstdlib>
#include <optional>
#include <iostream>
#include <string>
#include <vector>

#include <QApplication>

#include "gui/application.h"
#include "gui/display.h"
#include "gui/gui_session.h"
#include "gui/icon.h"
#include "gui/translations.h"
#include "app/menu_request.h"
#include "gui/qt_dialog_provider.h"

int main(int argc, char** argv) {
  // The program's own arguments as the bytes they are: file names from a
  // file manager need not be UTF-8.
  const std::vector<std::string> raw_args(argv + (argc > 0 ? 1 : 0), argv + argc);
  // Before any text is shown: the help and the no-display message too.
  vesk::gui::StartInWindowLanguage();
  if (vesk::WantsWindowHelp(raw_args)) {
    std::cout << vesk::WindowHelpText();
    return 0;
  }
  const std::optional<vesk::MenuRequest> request = vesk::ParseMenuRequest(raw_args);
  if (!vesk::gui::DisplayAvailable()) {
    std::cerr << vesk::gui::NoDisplayMessage();
    return 1;
  }
  QApplication app(argc, argv);
  vesk::gui::SetUpApplication(app);
  QApplication::setApplicationVersion(PROJECT_VERSION_TEXT);

  // Qt has taken its own options out of argv; the rest is the program's
  // command line, taken byte for byte: a file name need not be UTF-8, and
  // text decoded into a QString would no longer name the file.
  const std::vector<std::string> args(argv + 1, argv + argc);

  try {
    vesk::gui::QtDialogProvider dialogs;
    vesk::gui::GuiSession session(dialogs);
    if (request && request->command == vesk::MenuCommand::kSelfDecrypt) {
      // The self-decrypting file is read as the window's own file.
      const std::string file = request->paths.empty() ? std::string() : request->paths.front();
      session.Start({}, vesk::WindowLogic::OwnFile{file, 0});
      session.ApplyMenuRequest(*request);
    } else if (request) {
      session.Start({});
      session.ApplyMenuRequest(*request);
    } else {
      session.Start(args);
    }
    // Scripts that start the window read what its status line says after
    // start-up (for example the payload a self-decrypting file carries).
    if (const char* echo = std::getenv("VESK_ECHO_STATUS"); echo != nullptr && std::string(echo) == "1") {
      // The logic's text, byte for byte (a file name in it need not be UTF-8).
      std::cerr << session.Logic().StatusText() << std::endl;
    }
    session.Show();
    return QApplication::exec();
  } catch (...) {
    QApplication::beep();
    return 1;
  }
}
