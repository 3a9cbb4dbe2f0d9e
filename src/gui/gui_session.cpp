#include "gui/gui_session.h"

#include <utility>

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGuiApplication>
#include <QMenu>
#include <QPushButton>
#include <QScreen>

#include "app/key_strength.h"
#include "gui/dialogs.h"
#include "gui/key_box.h"
#include "gui/texts.h"
#include "settings/ini_store.h"
#include "settings/language_setting.h"

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
  if (values != nullptr) {
    logic_.UseSettingsStore(*values);
    dialogs_.UseSettingsStore(*values);
  }
  logic_.OnSettingsChanged = [this](const settings::WindowSettings& s) { window_.ApplySettings(s); };

  Bind(Control::EncryptButton, [this] { logic_.EncryptClicked(); });
  Bind(Control::DecryptButton, [this] { logic_.DecryptClicked(); });
  Bind(Control::KeylessEncryptItem, [this] { logic_.KeylessEncryptCommand(); });
  Bind(Control::KeylessDecryptItem, [this] { logic_.KeylessDecryptCommand(); });
  // A click on the stop arriving after the run ended must not ask for a new
  // file: what the item was when the menu opened goes with the click.
  QObject::connect(window_.PopupMenu, &QMenu::aboutToShow, &window_,
                   [this] { shred_item_was_stop_ = logic_.Tag(Control::ShredItem) != 0; });
  Bind(Control::ShredItem, [this] { logic_.ShredClicked(std::exchange(shred_item_was_stop_, false)); });
  Bind(Control::SoftKeyboardButton, [this] { logic_.SoftKeyboardClicked(); });
  Bind(Control::CreateSelfDecryptingButton, [this] { logic_.CreateSelfDecryptingClicked(); });
  Bind(Control::SelfDecryptButton, [this] { logic_.SelfDecryptClicked(); });
  Bind(Control::SeparateButton, [this] { logic_.SeparateClicked(); });
  BindItem("ClearKeysItem", [this] { logic_.ClearKeysClicked(); });
  BindItem("ClearClipboardItem", [this] { logic_.ClearClipboardClicked(); });
  BindItem("EncryptFolderItem", [this] { logic_.EncryptFolderClicked(); });
  BindItem("HelpItem", [this] { logic_.HelpClicked(); });
  BindItem("CheckForUpdatesItem", [this] { logic_.CheckForUpdatesClicked(); });
  BindItem("HomePageItem", [this] { logic_.HomePageClicked(); });
  BindItem("AboutItem", [this] { logic_.AboutClicked(); });
  BindItem("RegisterFileTypeItem", [this] { logic_.RegisterFileTypeClicked(); });
  BindItem("ContextMenuItem", [this] { logic_.AddContextMenuClicked(); });
  BindItem("UnregisterItem", [this] { logic_.UnregisterClicked(); });
  // The other language, stored for the next start: every text is chosen then.
  BindItem("LanguageItem", [this, values] {
    const bool english = ShownLanguage() == Language::kChinese;
    if (values == nullptr) return logic_.Beep();
    settings::StoreWindowLanguage(*values, english ? Language::kEnglish : Language::kChinese);
    port_.InformationBox(english ? text::kEnglishNextStart : text::kChineseNextStart, WindowLogic::kMessageCaption);
  });
  BindAgeCommands();
  port_.OnPageNotOpened = [this](const std::string& path) { Guarded([&] { logic_.PageNotOpened(path); }); };

  window_.OnWindowDoubleClick = [this] { Guarded([this] { logic_.WindowDoubleClicked(); }); };
  window_.OnBrandClick = [this] { Guarded([this] { logic_.BrandClicked(); }); };
  window_.OnBrandDoubleClick = [this] { Guarded([this] { logic_.BrandDoubleClicked(); }); };
  window_.OnBrandMouseMove = [this] { Guarded([this] { logic_.BrandHovered(); }); };
  window_.OnKeyBoxClick = [this](Control box) {
    Guarded([this, box] { box == Control::EncryptionKey ? logic_.EncryptionKeyClicked() : logic_.DecryptionKeyClicked(); });
  };
  window_.OnKeyBoxMouseMove = [this](Control box) {
    Guarded([this, box] { box == Control::EncryptionKey ? logic_.EncryptionKeyHovered() : logic_.DecryptionKeyHovered(); });
  };
  window_.OnStatusDoubleClick = [this] { Guarded([this] { logic_.StatusBarDoubleClicked(); }); };

  QObject::connect(window_.ResizeButton, &QPushButton::clicked, &window_, [this] { Guarded([this] { logic_.ResizeClicked(true); }); });
  QObject::connect(window_.RatioItems, &QButtonGroup::idToggled, &window_, [this](int id, bool checked) {
    if (checked) Guarded([this, id] { logic_.RatioSelected(id); });
  });
  QObject::connect(window_.KeyMasking, &QCheckBox::clicked, &window_,
                   [this](bool checked) { Guarded([this, checked] { logic_.KeyMaskingToggled(checked); }); });

  window_.OnDrop = [this](const std::vector<std::string>& paths) { Guarded([&] { Drop(paths); }); };
  window_.OnClose = [this] { Guarded([this] { Close(); }); };
}

void GuiSession::BindAgeCommands() {
  logic_.KeyStrengthEstimator = [](const std::string& passphrase) { return EstimateKeyStrength(passphrase); };
  BindItem("GenerateIdentityItem", [this] { logic_.GenerateIdentityClicked(); });
  BindItem("EncryptToRecipientsItem", [this] { logic_.EncryptToRecipientsClicked(); });
  BindItem("ChooseIdentitiesItem", [this] { logic_.ChooseIdentityFilesClicked(); });
  BindItem("InspectAgeFileItem", [this] { logic_.InspectAgeFileClicked(); });
  for (KeyBox* box : {window_.EncryptionKey, window_.DecryptionKey}) {
    const Control c = box == window_.EncryptionKey ? Control::EncryptionKey : Control::DecryptionKey;
    box->OnEnter = [this, c] { Guarded([this, c] { logic_.KeyBoxEntered(c); }); };
    box->OnGenerate = [this] { Guarded([this] { logic_.GeneratePassphraseClicked(); }); };
    box->OnPasteRefused = [this, box](KeyPasteRefusal why) {
      Guarded([this, box, why] {
        logic_.KeyPasteRefused(why == KeyPasteRefusal::kLineBreak ? WindowLogic::KeyPasteRefusal::kLineBreak
                                                                  : WindowLogic::KeyPasteRefusal::kTooLong,
                               box->MaxLength());
      });
    };
  }
  QObject::connect(window_.FormatItems, &QButtonGroup::idToggled, &window_, [this](int id, bool checked) {
    if (checked) Guarded([this, id] { logic_.FormatSelected(id); });
  });
  QObject::connect(window_.EncryptionKey, &QPlainTextEdit::textChanged, &window_,
                   [this] { Guarded([this] { logic_.EncryptionKeyEdited(); }); });
}

GuiSession::~GuiSession() {
  window_.OnClose = nullptr;
  window_.OnDrop = nullptr;
  window_.OnWindowDoubleClick = window_.OnBrandClick = window_.OnBrandDoubleClick = window_.OnBrandMouseMove =
      window_.OnStatusDoubleClick = nullptr;
  window_.OnKeyBoxClick = window_.OnKeyBoxMouseMove = nullptr;
  for (KeyBox* box : {window_.EncryptionKey, window_.DecryptionKey}) {
    box->OnEnter = box->OnGenerate = nullptr;
    box->OnPasteRefused = nullptr;
  }
  port_.OnPageNotOpened = nullptr;
  port_.SetClosing(true);
  logic_.ShutDown();
  window_.setAcceptDrops(false);
  // The logic, the port and the form must outlive every worker that may
  // still call them.
  logic_.WaitForOperationsToEnd(kCloseWait);
  logic_.OnSettingsChanged = nullptr;
}

void GuiSession::Start(const std::vector<std::string>& args, const std::optional<WindowLogic::OwnFile>& own) {
  logic_.StartUp(args, own);
  logic_.EncryptionKeyEdited();  // the meter, when ".age" was stored
}

void GuiSession::ApplyMenuRequest(const MenuRequest& request) {
  Guarded([&] {
    const std::string first = logic_.ApplyMenuRequest(request);
    if (!first.empty()) dialogs_.PresetFile(first);
  });
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
  logic_.CloseRequested();
  logic_.Closing();
  logic_.WaitForOperationsToEnd(kCloseWait);
}

}  // namespace vesk::gui
