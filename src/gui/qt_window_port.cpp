#include "gui/qt_window_port.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>

#include "gui/colours.h"
#include "gui/dialogs.h"
#include "gui/key_box.h"
#include "gui/main_window.h"
#include "gui/site.h"
#include "platform/process.h"

namespace vesk::gui {

QtWindowPort::QtWindowPort(MainWindow& window, DialogProvider& dialogs, QueuedUiThread& ui)
    : window_(window),
      dialogs_(dialogs),
      ui_(ui),
      site_folder_(ProgramSiteFolder()),
      page_watch_(std::make_shared<PageWatch>()) {
  page_watch_->port = this;
}

QtWindowPort::~QtWindowPort() {
  const std::lock_guard<std::mutex> lock(page_watch_->mutex);
  page_watch_->port = nullptr;
}

void QtWindowPort::OnUi(const std::function<void()>& fn) {
  if (ui_.IsUiThread()) {
    fn();
  } else {
    ui_.Synchronize(fn);
  }
}

void QtWindowPort::MessageBox(const std::string& text, const std::string& caption) {
  OnUi([&] {
    if (!closing_) dialogs_.Message(&window_, text, caption);
  });
}

bool QtWindowPort::Question(const std::string& text, const std::string& caption) {
  bool yes = false;
  OnUi([&] { yes = !closing_ && dialogs_.Question(&window_, text, caption); });
  return yes;
}

bool QtWindowPort::CarefulQuestion(const std::string& text, const std::string& caption) {
  bool yes = false;
  OnUi([&] { yes = !closing_ && dialogs_.CarefulQuestion(&window_, text, caption); });
  return yes;
}

void QtWindowPort::CloseQuestion() {
  OnUi([&] { dialogs_.CloseQuestion(); });
}

void QtWindowPort::SetStatusText(const std::string& text) {
  OnUi([&] { window_.SetStatusText(text); });
}

void QtWindowPort::SetBarRange(int64_t max) {
  OnUi([&] { window_.SetBarRange(max); });
}

void QtWindowPort::SetBarPosition(int64_t position) {
  OnUi([&] { window_.SetBarPosition(position); });
}

void QtWindowPort::SetEnabled(Control c, bool enabled) {
  OnUi([&] { window_.SetControlEnabled(c, enabled); });
}

void QtWindowPort::SetCaption(Control c, const std::string& caption) {
  OnUi([&] { window_.SetControlCaption(c, caption); });
}

void QtWindowPort::SetHint(Hint h, const std::string& text) {
  OnUi([&] { window_.SetHint(h, text); });
}

std::string QtWindowPort::KeyText(Control box) {
  std::string text;
  OnUi([&] { text = window_.KeyBoxFor(box)->CrLfText(); });
  return text;
}

std::optional<std::string> QtWindowPort::OpenDialog(const FileDialogSpec& setup) {
  std::optional<std::string> chosen;
  OnUi([&] {
    if (!closing_) chosen = dialogs_.OpenFile(&window_, setup);
  });
  return chosen;
}

std::optional<std::string> QtWindowPort::SaveDialog(const FileDialogSpec& setup) {
  std::optional<std::string> chosen;
  OnUi([&] {
    if (!closing_) chosen = dialogs_.SaveFile(&window_, setup);
  });
  return chosen;
}

std::vector<std::string> QtWindowPort::OpenManyDialog(const FileDialogSpec& setup) {
  std::vector<std::string> chosen;
  OnUi([&] {
    if (!closing_) chosen = dialogs_.OpenFiles(&window_, setup);
  });
  return chosen;
}

std::optional<std::string> QtWindowPort::FolderDialog(const FileDialogSpec& setup) {
  std::optional<std::string> chosen;
  OnUi([&] {
    if (!closing_) chosen = dialogs_.OpenFolder(&window_, setup);
  });
  return chosen;
}

WindowPort::ReplaceAnswer QtWindowPort::ReplaceQuestion(const std::string& text, const std::string& caption) {
  ReplaceAnswer answer = ReplaceAnswer::kNo;
  OnUi([&] {
    if (!closing_) answer = dialogs_.ReplaceQuestion(&window_, text, caption);
  });
  return answer;
}

void QtWindowPort::Beep() {
  ++beeps_;
  OnUi([] { QApplication::beep(); });
}

void QtWindowPort::SetKeylessItemsVisible(bool visible) {
  OnUi([&] { window_.ShowKeylessItems(visible); });
}

void QtWindowPort::ProcessPendingMessages() {
  if (!ui_.IsUiThread()) return;
  // Input stays queued: a click must not start a command inside another one.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace vesk::gui

namespace vesk::gui {

void QtWindowPort::InformationBox(const std::string& text, const std::string& caption) {
  OnUi([&] {
    if (!closing_) dialogs_.Information(&window_, text, caption);
  });
}

std::optional<uint32_t> QtWindowPort::ColourDialog() {
  std::optional<uint32_t> chosen;
  OnUi([&] {
    if (closing_) return;
    if (const auto colour = dialogs_.ChooseColour(&window_)) chosen = ToColourValue(*colour);
  });
  return chosen;
}

void QtWindowPort::PopupMenuAt(int dx, int dy) {
  OnUi([&] { window_.PopupMenuAt(QPoint(dx, dy)); });
}

void QtWindowPort::SetBrandCaption(const std::string& caption) {
  OnUi([&] { window_.SetBrandCaption(caption); });
}

void QtWindowPort::SetKeyHint(Control box, const std::string& text) {
  OnUi([&] { window_.SetKeyHint(box, text); });
}

void QtWindowPort::SetKeyText(Control box, const std::string& text) {
  OnUi([&] { window_.KeyBoxFor(box)->setPlainText(QString::fromStdString(text)); });
}

bool QtWindowPort::ControlEnabled(Control c) {
  bool enabled = false;
  OnUi([&] { enabled = window_.ControlEnabled(c); });
  return enabled;
}

std::optional<std::string> QtWindowPort::StatusPanelText() {
  std::string text;
  OnUi([&] { text = window_.StatusText(); });
  return text;
}

void QtWindowPort::ClearClipboardText() {
  OnUi([] {
    QClipboard* clipboard = QGuiApplication::clipboard();
    for (QClipboard::Mode mode : {QClipboard::Clipboard, QClipboard::Selection}) {
      if (mode == QClipboard::Selection && !clipboard->supportsSelection()) continue;
      const QMimeData* data = clipboard->mimeData(mode);
      if (data != nullptr && data->hasText()) clipboard->clear(mode);
    }
  });
}

bool QtWindowPort::OpenSitePage(const std::string& path) {
  bool opened = false;
  OnUi([&] {
    const QUrl url = SitePageUrl(site_folder_, path);
    if (!url.isValid() || url.isEmpty()) return;
    opened = url_opener_ ? url_opener_(url) : OpenInBrowser(url, path);
  });
  return opened;
}

std::string QtWindowPort::SitePageFile(const std::string& path) { return SitePageFilePath(site_folder_, path); }

bool QtWindowPort::OpenInBrowser(const QUrl& url, const std::string& path) {
  const auto opener = FindProgramOnPath("xdg-open");
  if (!opener) return QDesktopServices::openUrl(url);
  // xdg-open may run the browser in the foreground, so it is watched from
  // a thread of its own rather than waited for; it fails when the desktop
  // has no browser.
  std::shared_ptr<PageWatch> watch = page_watch_;
  return StartWatched({*opener, url.toString(QUrl::FullyEncoded).toStdString()}, [watch, path](int status) {
    if (status <= 0) return;
    const std::lock_guard<std::mutex> lock(watch->mutex);
    if (watch->port == nullptr) return;
    QMetaObject::invokeMethod(
        &watch->port->window_,
        [watch, path] {
          if (watch->port != nullptr && watch->port->OnPageNotOpened) watch->port->OnPageNotOpened(path);
        },
        Qt::QueuedConnection);
  });
}

bool QtWindowPort::StartProgram(const std::string& path) {
  bool started = false;
  OnUi([&] { started = QProcess::startDetached(QString::fromStdString(path), {}); });
  return started;
}

void QtWindowPort::SetReadyCommand(Control c) {
  OnUi([&] {
    if (QPushButton* button = window_.ButtonFor(c)) {
      button->setDefault(true);
      button->setFocus(Qt::OtherFocusReason);
    }
  });
}

void QtWindowPort::FocusControl(Control c) {
  OnUi([&] { window_.FocusControl(c); });
}

void QtWindowPort::SetControlHint(Control c, const std::string& text) {
  OnUi([&] { window_.SetControlHint(c, text); });
}

}  // namespace vesk::gui
