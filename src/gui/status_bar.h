// The window's two-panel status bar: a narrow panel with the program's icon
// and the status line, aligned to the bottom of the window.
#pragma once

#include <QString>
#include <QWidget>

class QLabel;

namespace vesk::gui {

inline constexpr int kStatusBarHeight = 19;

class StatusBar final : public QWidget {
 public:
  explicit StatusBar(QWidget* parent);
  QLabel* Glyph = nullptr;  // panel 0, 16 pixels wide
  QLabel* Text = nullptr;   // panel 1, the rest of the bar

  // Panel 1 shows `text` on one line: its lines joined with a space, and
  // what does not fit left out in the middle; the whole text is always the
  // panel's tooltip.
  void SetMessage(const QString& text);
  // The text as given.
  const QString& Message() const { return message_; }

  // `text` on one line: its lines, the empty ones left out, joined with a
  // space.
  static QString OneLine(const QString& text);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Refresh();

  QString message_;
};

}  // namespace vesk::gui
