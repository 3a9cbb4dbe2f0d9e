// vesk-screenshot FILE.png [ARGUMENT ...]: opens the window as vesk does,
// with the given command line, and saves what the display server shows of it
// once it is drawn. scripts/screenshot.sh runs it under Xvfb for the docs.
#include <iostream>
#include <string>
#include <vector>

#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include "gui/dialogs.h"
#include "gui/gui_session.h"
#include "gui/icon.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: vesk-screenshot FILE.png [ARGUMENT ...]\n";
    return 2;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName("vesk");
  QApplication::setApplicationDisplayName(QString::fromUtf8(vesk::Tysjm::kProgramTitle));
  QApplication::setWindowIcon(vesk::gui::VeskIcon());
  const QStringList arguments = QApplication::arguments();
  if (arguments.size() < 2) return 2;
  const QString output = arguments[1];
  std::vector<std::string> args;
  for (qsizetype i = 2; i < arguments.size(); ++i) args.push_back(arguments[i].toStdString());

  vesk::gui::QtDialogProvider dialogs;
  vesk::gui::GuiSession session(dialogs);
  session.Start(args);
  session.Show();

  int status = 1;
  QTimer::singleShot(1500, &app, [&] {
    vesk::gui::MainWindow& w = session.Window();
    QScreen* screen = w.screen();
    const QPixmap shot = screen != nullptr ? screen->grabWindow(w.winId()) : w.grab();
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
