// The main window as designed: a fixed 442-pixel-wide form with absolutely
// placed controls under their object names, the top panel TopPanel with the
// brand label, the command buttons and the progress bar, the key boxes, the
// ratio group, the masking box, the self-decrypt buttons, a two-panel status
// bar and the popup menu of TopPanel and BrandLabel.
//
// The form holds no logic. It shows what it is told (captions, enabled
// states, status text, hints, bar, settings) and passes the window events it
// handles itself (a drop, closing) to hooks. A command control shows as
// enabled only when a handler is bound to it, so that items of commands not
// built yet stay visible but unusable.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <QWidget>

#include "app/port.h"
#include "gui/status_bar.h"
#include "core/reporting.h"
#include "settings/settings.h"

class QAction;
class QButtonGroup;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTimer;

namespace vesk::gui {

class KeyBox;

// Height of the window's frame: the designed heights are whole-window
// heights, 448 for a client area of 414.
inline constexpr int kClientWidth = 442;
inline constexpr int kFrameHeight = kDesignedWindowHeight - 414;

class MainWindow final : public QWidget {
 public:
  MainWindow();
  ~MainWindow() override;

  // ---- Controls, under their object names -------------------------------
  QFrame* TopPanel = nullptr;
  QLabel* DecryptionKeyLabel = nullptr;
  QLabel* EncryptionKeyLabel = nullptr;
  QLabel* BrandLabel = nullptr;
  KeyBox* EncryptionKey = nullptr;
  KeyBox* DecryptionKey = nullptr;
  QPushButton* EncryptButton = nullptr;
  QPushButton* DecryptButton = nullptr;
  QPushButton* SoftKeyboardButton = nullptr;
  QPushButton* CreateSelfDecryptingButton = nullptr;
  QPushButton* SelfDecryptButton = nullptr;
  QPushButton* SeparateButton = nullptr;
  QPushButton* ResizeButton = nullptr;
  QProgressBar* ProgressBar = nullptr;
  QGroupBox* RatioGroup = nullptr;  // the radio group, captioned text::kRatioGroup
  QButtonGroup* RatioItems = nullptr;  // ids 0..3
  QCheckBox* KeyMasking = nullptr;
  StatusBar* StatusLine = nullptr;
  QMenu* PopupMenu = nullptr;

  QRadioButton* RatioItem(int index) const;
  // The button of a command (null for the menu item and the key boxes).
  QPushButton* ButtonFor(Control c) const;
  // A popup-menu item by its object name ("ClearKeysItem", "ShredItem", ...); the
  // key-less items are "KeylessEncryptItem" and "KeylessDecryptItem".
  QAction* MenuItem(const std::string& name) const;
  // The popup item of a command (null for the buttons and the key boxes).
  QAction* ActionFor(Control c) const;
  // The letter that chooses a popup item while the menu is open ('S' for
  // "ShredItem"); 0 for a separator or an unknown name.
  char AcceleratorOf(const std::string& name) const;
  // Opens the popup menu at the control that has the keyboard focus (the
  // Menu key, Shift+F10).
  void PopupMenuFromKeyboard();
  // The frame that shows which control has the keyboard focus.
  QWidget* FocusMark() const { return focus_mark_; }
  // Inserts the key-less items and their separator at the top of the popup
  // menu, or removes them.
  void ShowKeylessItems(bool visible);
  bool KeylessItemsShown() const;

  // ---- What the window logic shows ------------------------------------------
  // The state the logic asked for; the control shows it only when bound.
  void SetControlEnabled(Control c, bool enabled);
  bool ControlEnabled(Control c) const;
  void SetBound(Control c, bool bound);
  void SetControlCaption(Control c, const std::string& caption);
  std::string ControlCaption(Control c) const;
  void SetStatusText(const std::string& text);
  std::string StatusText() const;
  void SetHint(Hint h, const std::string& text);
  void SetBarRange(int64_t max);
  void SetBarPosition(int64_t position);
  KeyBox* KeyBoxFor(Control box) const;
  // Ratio item, masking, colours, key-box looks, height and ResizeButton caption.
  void ApplySettings(const settings::WindowSettings& s);
  void SetBrandCaption(const std::string& caption);
  // Opens the popup menu at the screen point `offset` from the top-left
  // corner of the window's frame.
  void PopupMenuAt(QPoint offset);
  void SetKeyHint(Control box, const std::string& text);
  // The hint of a command button; empty gives it back the one it was made with.
  void SetControlHint(Control c, const std::string& text);
  // Puts the keyboard focus on a control, the focus frame with it.
  void FocusControl(Control c);

  // ---- The strong format (age_widgets.cpp) -----------------------------------
  QLabel* FormatLabel = nullptr;
  QButtonGroup* FormatItems = nullptr;  // ids 0 (".jmz") and 1 (".age")
  QLabel* KeyStrength = nullptr;        // the strength meter under EncryptionKey
  QRadioButton* FormatItem(int index) const;
  // The format choice, the ratio group (greyed for ".age"), the key boxes'
  // labels and the meter's visibility.
  void ApplyFormat(settings::FileFormat format);
  // The meter: score 0..4 as a bar of five marks in its colour, and the
  // hint; nullopt hides it.
  void SetKeyStrength(std::optional<int> score, const std::string& hint);

  // ---- Window events passed on ---------------------------------------------
  // Files dropped on the window (local paths, in the order dropped).
  std::function<void(const std::vector<std::string>&)> OnDrop;
  // The window is asked to close; closing is always allowed.
  std::function<void()> OnClose;
  // A double-click on the window's body or on the top panel.
  std::function<void()> OnWindowDoubleClick;
  // The brand label: a click (reported once no double-click follows it), a
  // double-click, the mouse moving over it.
  std::function<void()> OnBrandClick;
  std::function<void()> OnBrandDoubleClick;
  std::function<void()> OnBrandMouseMove;
  // A click on, or the mouse moving over, key box EncryptionKey or DecryptionKey.
  std::function<void(Control)> OnKeyBoxClick;
  std::function<void(Control)> OnKeyBoxMouseMove;
  std::function<void()> OnStatusDoubleClick;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void BuildPanel();
  void BuildBody();
  void BuildMenu();
  void BuildAgeControls();
  QPushButton* AddButton(QWidget* parent, const char* name, const char* caption, const char* hint, QRect geometry);
  QWidget* Widget(Control c) const;
  void Refresh(Control c);
  // The keyboard's ways round the window: the Tab order of the layout, the
  // popup menu's keys, the focus frame.
  void BuildKeyboard();
  // The focus frame follows a focus that came from the keyboard (or from the
  // window itself) and hides for one that came from the mouse.
  void FocusMoved(QWidget* widget, QEvent* event);

  std::map<Control, bool> enabled_;  // as the logic asked
  std::map<Control, bool> bound_;
  std::map<std::string, QAction*> menu_items_;
  std::map<std::string, char> accelerators_;  // by item name
  std::map<QWidget*, QString> own_hints_;     // the buttons' hints as made
  QWidget* focus_mark_ = nullptr;
  QAction* keyless_separator_ = nullptr;
  // A click on the brand label waits for the double-click time, so that a
  // double-click does not open the menu first.
  QTimer* brand_click_timer_ = nullptr;
  bool brand_double_clicked_ = false;
  // Dragging by the body: a left press waits for the pointer to leave the
  // drag distance; then the window system moves the window, or it follows
  // the pointer where the window system cannot.
  bool press_pending_ = false;
  QPoint press_point_;
  bool dragging_ = false;
  QPoint drag_offset_;
};

}  // namespace vesk::gui
