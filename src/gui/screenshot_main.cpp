// vesk-screenshot FILE.png [OPTION ...] [ARGUMENT ...]: opens the window as
// vesk does, with the given command line (`--encrypt FILE`, `--self-decrypt
// FILE.run` included), and saves what the display server shows of it, and of
// the menus, boxes and tooltips open over it, once it is drawn. The options
// put it into the state to show:
//   --menu            the popup menu open, as a click on the brand label opens
//                     it after six uses of the information items (so the
//                     key-less items show)
//   --focus NAME      the keyboard focus on the control NAME, as Tab puts it
//   --menu-key        the Menu key pressed where the focus is
//   --click NAME      a click on the button NAME
//   --answer yes|no   every question that opens is answered so
//   --tip NAME        the tooltip of the control NAME shown ("StatusText":
//                     the status line)
//   --key TEXT        TEXT in both key boxes
//   --open FILE       the open dialogs answered with FILE
//   --save-proposed   the save dialogs answered with the name they propose
//   --trigger NAME    the popup item NAME chosen; given twice, chosen again
//                     0.6 seconds later (a stop)
//   --dialog NAME     a dialog of the strong format open: "identity" (the key
//                     generator's choices, a protected file wanted),
//                     "passphrase" (a generated passphrase), "weak" (the
//                     question before a weak passphrase is used) or "secret"
//                     (a protected identity file's passphrase asked)
// scripts/screenshot.sh runs it under Xvfb for the docs.
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QCursor>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QToolTip>
#include <QWindow>

#include "app/menu_request.h"
#include "crypto/age_files/texts.h"
#include "gui/application.h"
#include "platform/language.h"
#include "gui/gui_session.h"
#include "gui/key_box.h"
#include "gui/qt_dialog_provider.h"

namespace {

struct Options {
  bool menu = false, menu_key = false, save_proposed = false;
  QString focus, click, tip, key, dialog;
  std::string open;
  QStringList triggers;
  std::optional<bool> answer;
  std::vector<std::string> args;
};

// The real dialogs, except the file dialogs the options answer.
class Answering final : public vesk::gui::DialogProvider {
 public:
  Answering(vesk::gui::DialogProvider& real, const Options& o) : real_(real), o_(o) {}
  void Message(QWidget* p, const std::string& t, const std::string& c) override { real_.Message(p, t, c); }
  bool Question(QWidget* p, const std::string& t, const std::string& c) override { return real_.Question(p, t, c); }
  bool CarefulQuestion(QWidget* p, const std::string& t, const std::string& c) override {
    return real_.CarefulQuestion(p, t, c);
  }
  void CloseQuestion() override { real_.CloseQuestion(); }
  void Information(QWidget* p, const std::string& t, const std::string& c) override { real_.Information(p, t, c); }
  std::optional<QColor> ChooseColour(QWidget* p) override { return real_.ChooseColour(p); }
  std::optional<std::string> OpenFile(QWidget* p, const vesk::FileDialogSpec& s) override {
    if (!o_.open.empty()) return o_.open;
    return real_.OpenFile(p, s);
  }
  std::vector<std::string> OpenFiles(QWidget* p, const vesk::FileDialogSpec& s) override {
    if (!o_.open.empty()) return {o_.open};
    return real_.OpenFiles(p, s);
  }
  std::optional<std::string> SaveFile(QWidget* p, const vesk::FileDialogSpec& s) override {
    if (o_.save_proposed) return s.file_name;
    return real_.SaveFile(p, s);
  }
  std::optional<std::string> OpenFolder(QWidget* p, const vesk::FileDialogSpec& s) override { return real_.OpenFolder(p, s); }
  vesk::WindowPort::ReplaceAnswer ReplaceQuestion(QWidget* p, const std::string& t, const std::string& c) override {
    return real_.ReplaceQuestion(p, t, c);
  }
  std::optional<std::string> Recipients(QWidget* p, const std::string& proposed) override {
    return real_.Recipients(p, proposed);
  }
  void PresetFile(const std::string& path) override { real_.PresetFile(path); }
  void UseSettingsStore(vesk::settings::ValueStore& values) override { real_.UseSettingsStore(values); }

 private:
  vesk::gui::DialogProvider& real_;
  const Options& o_;
};

QWidget* Named(vesk::gui::MainWindow& w, const QString& name) {
  if (name.isEmpty()) return nullptr;
  if (name == "StatusText") return w.StatusLine->Text;
  return w.findChild<QWidget*>(name);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: vesk-screenshot FILE.png [OPTION ...] [ARGUMENT ...]\n";
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
  Options o;
  qsizetype i = 2;
  for (; i < arguments.size(); ++i) {
    const QString& a = arguments[i];
    const bool more = i + 1 < arguments.size();
    if (a == "--menu") {
      o.menu = true;
    } else if (a == "--menu-key") {
      o.menu_key = true;
    } else if (a == "--focus" && more) {
      o.focus = arguments[++i];
    } else if (a == "--click" && more) {
      o.click = arguments[++i];
    } else if (a == "--tip" && more) {
      o.tip = arguments[++i];
    } else if (a == "--answer" && more) {
      o.answer = arguments[++i] == "yes";
    } else if (a == "--key" && more) {
      o.key = arguments[++i];
    } else if (a == "--open" && more) {
      o.open = argv[++i];
    } else if (a == "--trigger" && more) {
      o.triggers << arguments[++i];
    } else if (a == "--dialog" && more) {
      o.dialog = arguments[++i];
    } else if (a == "--save-proposed") {
      o.save_proposed = true;
    } else {
      break;
    }
  }
  // The window's own command line, byte for byte.
  for (qsizetype k = i; k < arguments.size(); ++k) o.args.push_back(argv[k]);

  vesk::gui::QtDialogProvider real;
  Answering dialogs(real, o);
  vesk::gui::GuiSession session(dialogs);
  const std::optional<vesk::MenuRequest> request = vesk::ParseMenuRequest(o.args);
  if (request && request->command == vesk::MenuCommand::kSelfDecrypt && !request->paths.empty()) {
    session.Start({}, vesk::WindowLogic::OwnFile{request->paths.front(), 0});
  } else {
    session.Start(request ? std::vector<std::string>{} : o.args);
  }
  session.Show();
  if (request) session.ApplyMenuRequest(*request);
  vesk::gui::MainWindow& w = session.Window();
  if (!o.key.isEmpty()) {
    w.EncryptionKey->setPlainText(o.key);
    w.DecryptionKey->setPlainText(o.key);
  }

  if (!o.dialog.isEmpty()) {
    QTimer::singleShot(800, &app, [&] {
      vesk::WindowLogic& logic = session.Logic();
      if (o.dialog == "identity") {
        QTimer::singleShot(200, &app, [] {
          QWidget* shown = QApplication::activeModalWidget();
          if (shown == nullptr) return;
          shown->findChild<QCheckBox*>("IdentityProtect")->setChecked(true);
          shown->findChild<QLineEdit*>("IdentityPassphrase")->setText("bakot-mirel");
        });
        logic.GenerateIdentityClicked();
      } else if (o.dialog == "passphrase") {
        logic.FormatSelected(1);
        logic.GeneratePassphraseClicked();
      } else if (o.dialog == "weak") {
        logic.FormatSelected(1);
        w.EncryptionKey->setPlainText("password");
        w.DecryptionKey->setPlainText("password");
        logic.EncryptClicked();
      } else if (o.dialog == "secret") {
        logic.AskSecret(vesk::age_files::text::ProtectedIdentityPrompt(std::string("/home/me/") + vesk::age_files::text::kIdentityProtectedSaveName));
      }
    });
  }
  if (o.menu) {
    for (int use = 0; use < 6; ++use) session.Logic().RevealKeylessItems();
    QTimer::singleShot(800, &app, [&] { session.Logic().BrandClicked(); });
  }
  // The pointer out of the way, so that no tooltip of its own shows.
  if (QScreen* screen = QGuiApplication::primaryScreen()) QCursor::setPos(screen->geometry().bottomRight());
  QTimer::singleShot(400, &app, [&] { w.activateWindow(); });
  QTimer::singleShot(700, &app, [&] {
    if (QWidget* focus = Named(w, o.focus)) focus->setFocus(Qt::TabFocusReason);
  });
  QTimer::singleShot(900, &app, [&] {
    if (o.menu_key) {
      QKeyEvent press(QEvent::KeyPress, Qt::Key_Menu, Qt::NoModifier);
      QApplication::sendEvent(QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : &w, &press);
    }
    if (auto* button = qobject_cast<QAbstractButton*>(Named(w, o.click))) button->click();
  });
  for (qsizetype t = 0; t < o.triggers.size(); ++t) {
    QTimer::singleShot(static_cast<int>(900 + 600 * t), &app, [&w, name = o.triggers[t]] {
      if (QAction* item = w.MenuItem(name.toStdString())) item->trigger();
    });
  }
  QTimer answering;
  if (o.answer) {
    QObject::connect(&answering, &QTimer::timeout, &app, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr || !box->isVisible()) return;
      if (QAbstractButton* button = box->button(*o.answer ? QMessageBox::Yes : QMessageBox::No)) button->click();
    });
    answering.start(300);
  }
  QTimer::singleShot(1300, &app, [&] {
    QWidget* target = Named(w, o.tip);
    if (target != nullptr) {
      QToolTip::showText(target->mapToGlobal(QPoint(target->width() / 3, target->height() / 2)), target->toolTip(), target);
    }
  });

  int status = 1;
  QTimer::singleShot(o.triggers.size() > 1 ? 3000 : 2000, &app, [&] {
    QScreen* screen = w.screen();
    // The window and whatever opened over it: menus, boxes, tooltips.
    QRect area = w.frameGeometry();
    for (QWidget* top : QApplication::topLevelWidgets()) {
      if (top != &w && top->isVisible()) area = area.united(top->frameGeometry());
    }
    const QPixmap shot = screen != nullptr ? screen->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                                           : w.grab();
    if (!shot.isNull() && shot.save(output, "PNG")) {
      status = 0;
    } else {
      std::cerr << "vesk-screenshot: cannot save " << output.toStdString() << "\n";
    }
    // A box still open is answered No, so that nothing is written; any
    // other dialog is closed unanswered.
    for (QWidget* top : QApplication::topLevelWidgets()) {
      if (auto* box = qobject_cast<QMessageBox*>(top); box != nullptr && box->isVisible()) box->done(QMessageBox::No);
    }
    if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    w.close();
    QApplication::quit();
  });
  QApplication::exec();
  return status;
}
