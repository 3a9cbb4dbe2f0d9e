// The window port's calls of the strong format, marshalled like the others.
#include <QClipboard>
#include <QGuiApplication>

#include "gui/dialogs.h"
#include "gui/key_box.h"
#include "gui/main_window.h"
#include "gui/qt_window_port.h"

namespace vesk::gui {

void QtWindowPort::SetKeyStrength(std::optional<int> score, const std::string& hint) {
  OnUi([&] { window_.SetKeyStrength(score, hint); });
}

std::optional<std::string> QtWindowPort::RecipientsDialog(const std::string& proposed) {
  std::optional<std::string> text;
  OnUi([&] {
    if (!closing_) text = dialogs_.Recipients(&window_, proposed);
  });
  return text;
}

void QtWindowPort::CopyToClipboard(const std::string& text) {
  OnUi([&] { QGuiApplication::clipboard()->setText(QString::fromStdString(text)); });
}

void QtWindowPort::FocusKeyBox(Control box) {
  OnUi([&] { window_.KeyBoxFor(box)->setFocus(Qt::OtherFocusReason); });
}

bool QtWindowPort::CautiousQuestion(const std::string& text, const std::string& caption) {
  bool yes = false;
  OnUi([&] {
    if (!closing_) yes = dialogs_.CautiousQuestion(&window_, text, caption);
  });
  return yes;
}

std::optional<WindowPort::IdentityOptions> QtWindowPort::IdentityDialog() {
  std::optional<IdentityOptions> options;
  OnUi([&] {
    if (!closing_) options = dialogs_.IdentityOptions(&window_);
  });
  return options;
}

void QtWindowPort::ShowPassphrase(const std::string& text) {
  OnUi([&] {
    if (!closing_) dialogs_.ShowPassphrase(&window_, text);
  });
}

std::optional<std::string> QtWindowPort::TextDialog(const std::string& text, bool secret) {
  std::optional<std::string> typed;
  OnUi([&] {
    if (!closing_) typed = dialogs_.AskText(&window_, text, secret);
  });
  return typed;
}

}  // namespace vesk::gui
