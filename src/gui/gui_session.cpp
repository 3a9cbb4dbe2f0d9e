#include "gui/gui_session.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>

#include "gui/dialogs.h"
#include "settings/ini_store.h"

namespace vesk::gui {

GuiSession::GuiSession(DialogProvider& dialogs, settings::ValueStore* values)
    : dialogs_(dialogs), port_(window_, dialogs, ui_.Queue()), logic_(port_, ui_.Queue()) {
  if (values == nullptr) {
    try {
      own_values_ = std::make_unique<settings::IniFileStore>(settings::SettingsFilePath());
      values = own_values_.get();
    } catch (...) {
      logic_.Beep();  // no home folder: the settings are kept in memory only
    }
  }
  if (values != nullptr) logic_.UseSettingsStore(*values);
  logic_.OnSettingsChanged = [this](const settings::WindowSettings& s) { window_.ApplySettings(s); };

  Bind(Control::Button1, [this] { logic_.Button1Click(); });
  Bind(Control::Button2, [this] { logic_.Button2Click(); });
  Bind(Control::KeylessEncryptItem, [this] { logic_.KeylessEncryptCommand(); });
  Bind(Control::KeylessDecryptItem, [this] { logic_.KeylessDecryptCommand(); });
  Bind(Control::delfl, [this] { logic_.delflClick(); });
  Bind(Control::Button5, [this] { logic_.Button5Click(); });
  Bind(Control::Button6, [this] { logic_.Button6Click(); });
  Bind(Control::Button7, [this] { logic_.Button7Click(); });
  Bind(Control::Button8, [this] { logic_.Button8Click(); });
  BindItem("N5", [this] { logic_.N5Click(); });
  BindItem("N12", [this] { logic_.N12Click(); });
  BindItem("N11", [this] { logic_.N11Click(); });
  BindItem("N1", [this] { logic_.N1Click(); });
  BindItem("N2", [this] { logic_.N2Click(); });
  BindItem("N3", [this] { logic_.N3Click(); });
  BindItem("N6", [this] { logic_.N6Click(); });
  BindItem("N7", [this] { logic_.N7Click(); });
  BindItem("N9", [this] { logic_.N9Click(); });
  port_.OnPageNotOpened = [this](const std::string& path) { Guarded([&] { logic_.PageNotOpened(path); }); };

  window_.OnWindowDoubleClick = [this] { Guarded([this] { logic_.FormDblClick(); }); };
  window_.OnBrandClick = [this] { Guarded([this] { logic_.Label3Click(); }); };
  window_.OnBrandDoubleClick = [this] { Guarded([this] { logic_.Label3DblClick(); }); };
  window_.OnBrandMouseMove = [this] { Guarded([this] { logic_.Label3MouseMove(); }); };
  window_.OnKeyBoxClick = [this](Control box) {
    Guarded([this, box] { box == Control::jm1 ? logic_.jm1Click() : logic_.jm2Click(); });
  };
  window_.OnKeyBoxMouseMove = [this](Control box) {
    Guarded([this, box] { box == Control::jm1 ? logic_.jm1MouseMove() : logic_.jm2MouseMove(); });
  };
  window_.OnStatusDoubleClick = [this] { Guarded([this] { logic_.StatusBar1DblClick(); }); };

  QObject::connect(window_.sf, &QPushButton::clicked, &window_, [this] { Guarded([this] { logic_.sfClick(true); }); });
  QObject::connect(window_.rgyslItems, &QButtonGroup::idToggled, &window_, [this](int id, bool checked) {
    if (checked) Guarded([this, id] { logic_.rgyslClick(id); });
  });
  QObject::connect(window_.pbmy, &QCheckBox::clicked, &window_,
                   [this](bool checked) { Guarded([this, checked] { logic_.pbmyClick(checked); }); });

  window_.OnDrop = [this](const std::vector<std::string>& paths) { Guarded([&] { Drop(paths); }); };
  window_.OnClose = [this] { Guarded([this] { Close(); }); };
}

GuiSession::~GuiSession() {
  window_.OnClose = nullptr;
  window_.OnDrop = nullptr;
  window_.OnWindowDoubleClick = window_.OnBrandClick = window_.OnBrandDoubleClick = window_.OnBrandMouseMove =
      window_.OnStatusDoubleClick = nullptr;
  window_.OnKeyBoxClick = window_.OnKeyBoxMouseMove = nullptr;
  port_.OnPageNotOpened = nullptr;
  port_.SetClosing(true);
  logic_.FormDestroy();
  window_.setAcceptDrops(false);
  // The logic, the port and the form must outlive every worker that may
  // still call them.
  logic_.WaitForOperationsToEnd(kCloseWait);
  logic_.OnSettingsChanged = nullptr;
}

void GuiSession::Start(const std::vector<std::string>& args, const std::optional<Tysjm::OwnFile>& own) {
  logic_.FormCreate(args, own);
}

void GuiSession::Show() {
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    const QSize whole(window_.width(), window_.height() + kFrameHeight);
    window_.move(area.center() - QPoint(whole.width() / 2, whole.height() / 2));
  }
  window_.show();
}

void GuiSession::Bind(Control c, std::function<void()> handler) {
  auto run = [this, handler = std::move(handler)] { Guarded(handler); };
  if (QAction* item = window_.ActionFor(c)) {
    QObject::connect(item, &QAction::triggered, &window_, run);
  } else if (QPushButton* button = window_.ButtonFor(c)) {
    QObject::connect(button, &QPushButton::clicked, &window_, run);
  }
  window_.SetBound(c, true);
}

void GuiSession::BindItem(const std::string& name, std::function<void()> handler) {
  QAction* item = window_.MenuItem(name);
  if (item == nullptr) return;
  QObject::connect(item, &QAction::triggered, &window_, [this, handler = std::move(handler)] { Guarded(handler); });
  item->setEnabled(true);
}

void GuiSession::Guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (...) {
    logic_.Beep();
  }
}

void GuiSession::Drop(const std::vector<std::string>& paths) {
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  struct RestoreCursor {
    ~RestoreCursor() { QGuiApplication::restoreOverrideCursor(); }
  } restore;
  if (logic_.DropFiles(paths)) dialogs_.PresetFile(paths.front());
  window_.raise();
  window_.activateWindow();
}

void GuiSession::Close() {
  if (closed_) return;
  closed_ = true;
  // Closing is always allowed, so from here on no box waits for the user.
  port_.SetClosing(true);
  logic_.FormCloseQuery();
  logic_.FormClose();
  logic_.WaitForOperationsToEnd(kCloseWait);
}

}  // namespace vesk::gui
