// vesk-screenshot FILE.png [--menu] [ARGUMENT ...]: opens the window as vesk
// does, with the given command line, and saves what the display server shows
// of it once it is drawn. With --menu the popup menu is open, as a click on
// the brand label opens it after six uses of the information items (so the
// key-less items show). scripts/screenshot.sh runs it under Xvfb for the docs.
#include <iostream>
#include <string>
#include <vector>

#include <QApplication>
#include <QMenu>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include "gui/application.h"
#include "platform/language.h"
#include "gui/gui_session.h"
#include "gui/qt_dialog_provider.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: vesk-screenshot FILE.png [--menu] [ARGUMENT ...]\n";
    return 2;
  }
  // The desktop's language (LANG=en_US.UTF-8 for the English window), with
  // the catalogue as built.
  vesk::UseLanguageFromFile(vesk::LanguageFromEnvironment(), VESK_CATALOGUE_PATH);
  QApplication app(argc, argv);
  vesk::gui::SetUpApplication(app);
  const QStringList arguments = QApplication::arguments();
  if (arguments.size() < 2) return 2;
  const QString output = arguments[1];
  qsizetype first = 2;
  const bool with_menu = arguments.size() > 2 && arguments[2] == "--menu";
  if (with_menu) ++first;
  std::vector<std::string> args;
  for (qsizetype i = first; i < arguments.size(); ++i) args.push_back(arguments[i].toStdString());

  vesk::gui::QtDialogProvider dialogs;
  vesk::gui::GuiSession session(dialogs);
  session.Start(args);
  session.Show();
  if (with_menu) {
    for (int use = 0; use < 6; ++use) session.Logic().RevealKeylessItems();
    QTimer::singleShot(800, &app, [&] { session.Logic().BrandClicked(); });
  }

  int status = 1;
  QTimer::singleShot(1500, &app, [&] {
    vesk::gui::MainWindow& w = session.Window();
    QScreen* screen = w.screen();
    QPixmap shot;
    if (with_menu && screen != nullptr) {
      // The menu is a window of its own: take the part of the screen that
      // holds both.
      const QRect area = w.frameGeometry().united(w.PopupMenu->geometry());
      shot = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    } else {
      shot = screen != nullptr ? screen->grabWindow(w.winId()) : w.grab();
    }
    if (!shot.isNull() && shot.save(output, "PNG")) {
      status = 0;
    } else {
      std::cerr << "vesk-screenshot: cannot save " << output.toStdString() << "\n";
    }
    session.Window().close();
  });
  QApplication::exec();
  return status;
}
