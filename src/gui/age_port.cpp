// The window port's calls of the strong format, marshalled like the others.
#include <QClipboard>
#include <QGuiApplication>

#include "gui/dialogs.h"
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

}  // namespace vesk::gui
