// The window's two-panel status bar: a narrow panel with a glyph and the
// status line, aligned to the bottom of the window.
#pragma once

#include <QWidget>

class QLabel;

namespace vesk::gui {

inline constexpr int kStatusBarHeight = 19;

class StatusBar final : public QWidget {
 public:
  explicit StatusBar(QWidget* parent);
  QLabel* Glyph = nullptr;  // 16 pixels wide
  QLabel* Text = nullptr;  // 1050 pixels wide, cut by the window
};

}  // namespace vesk::gui
