// vesk-screenshot FILE.png [--menu | --dialog NAME] [ARGUMENT ...]: opens the
// window as vesk does, with the given command line, and saves what the
// display server shows of it once it is drawn. With --menu the popup menu is
// open, as a click on the brand label opens it after six uses of the
// information items (so the key-less items show). With --dialog a dialog of
// the strong format is open over it: "identity" (the key generator's
// choices, a protected file wanted), "passphrase" (a generated passphrase)
// "weak" (the question before a weak passphrase is used) or "secret" (a
// protected identity file's passphrase asked).
// scripts/screenshot.sh runs it under Xvfb for the docs.
#include <iostream>
#include <string>
#include <vector>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include "crypto/age_files/texts.h"
#include "gui/application.h"
#include "gui/gui_session.h"
#include "gui/key_box.h"
#include "gui/qt_dialog_provider.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: vesk-screenshot FILE.png [--menu] [ARGUMENT ...]\n";
    return 2;
  }
  QApplication app(argc, argv);
  vesk::gui::SetUpApplication(app);
  const QStringList arguments = QApplication::arguments();
  if (arguments.size() < 2) return 2;
  const QString output = arguments[1];
  qsizetype first = 2;
  const bool with_menu = arguments.size() > 2 && arguments[2] == "--menu";
  if (with_menu) ++first;
  const QString dialog = arguments.size() > 3 && arguments[2] == "--dialog" ? arguments[3] : QString();
  if (!dialog.isEmpty()) first += 2;
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

  if (!dialog.isEmpty()) {
    QTimer::singleShot(800, &app, [&] {
      vesk::WindowLogic& logic = session.Logic();
      if (dialog == "identity") {
        QTimer::singleShot(200, &app, [] {
          QWidget* shown = QApplication::activeModalWidget();
          if (shown == nullptr) return;
          shown->findChild<QCheckBox*>("IdentityProtect")->setChecked(true);
          shown->findChild<QLineEdit*>("IdentityPassphrase")->setText("bakot-mirel");
        });
        logic.GenerateIdentityClicked();
      } else if (dialog == "passphrase") {
        logic.FormatSelected(1);
        logic.GeneratePassphraseClicked();
      } else if (dialog == "weak") {
        logic.FormatSelected(1);
        session.Window().EncryptionKey->setPlainText("password");
        session.Window().DecryptionKey->setPlainText("password");
        logic.EncryptClicked();
      } else if (dialog == "secret") {
        logic.AskSecret(vesk::age_files::text::ProtectedIdentityPrompt("/home/me/身份密钥.age"));
      }
    });
  }

  int status = 1;
  QTimer::singleShot(1500, &app, [&] {
    vesk::gui::MainWindow& w = session.Window();
    QScreen* screen = w.screen();
    QPixmap shot;
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != nullptr && screen != nullptr) {
      const QRect area = w.frameGeometry().united(modal->frameGeometry());
      shot = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
      modal->close();
    } else if (with_menu && screen != nullptr) {
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
