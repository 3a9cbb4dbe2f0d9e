#include "gui/main_window.h"
#include "gui/texts.h"

#include <algorithm>
#include <climits>
#include <tuple>

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTimer>
#include <QWindow>

#include "gui/colours.h"
#include "gui/icon.h"
#include "gui/key_box.h"

namespace vesk::gui {
namespace {

QString Q(const char* s) { return QString::fromUtf8(s); }
QString Q(const std::string& s) { return QString::fromStdString(s); }
QString Q(const Tr& s) { return QString::fromUtf8(s.c_str()); }

// Arial, or the metric-compatible Liberation Sans where Arial is missing, and
// a CJK face for the Chinese texts.
QFont WindowFont(int pixel_size) {
  QFont font;
  font.setFamilies({"Arial", "Liberation Sans", "WenQuanYi Micro Hei", "Noto Sans CJK SC"});
  font.setPixelSize(pixel_size);
  font.setBold(true);
  return font;
}

// Local files among dropped URLs.
std::vector<std::string> DroppedFiles(const QMimeData* data) {
  std::vector<std::string> paths;
  if (data == nullptr || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
  }
  return paths;
}

constexpr Tr kKeyHint = text::kKeyHint;

// A popup item's caption with its letter: 加密文件夹(&F)…, 关于(&A)..., or in English Encrypt &folder….
// Whether a caption is written in Chinese (any CJK character in it).
bool ChineseCaption(const QString& caption) {
  return std::any_of(caption.begin(), caption.end(), [](QChar c) { return c.unicode() >= 0x2E80; });
}

QString WithAccelerator(const QString& caption, char key) {
  if (key == 0) return caption;
  // An English caption marks the letter in its words where it has it; a
  // Chinese one shows the letter in brackets, as Chinese menus do.
  if (!ChineseCaption(caption)) {
    const qsizetype at = caption.indexOf(QChar(key), 0, Qt::CaseInsensitive);
    if (at >= 0) return caption.left(at) + '&' + caption.mid(at);
  }
  const QString mark = QStringLiteral("(&") + QChar(key) + ')';
  for (const QString& dots : {QStringLiteral("…"), QStringLiteral("...")}) {
    if (caption.endsWith(dots)) return caption.left(caption.size() - dots.size()) + mark + dots;
  }
  return caption + mark;
}

QString WithoutAccelerator(QString caption, char key) {
  if (key == 0) return caption;
  const QString mark = QStringLiteral("(&") + QChar(key) + ')';
  if (caption.contains(mark)) return caption.remove(mark);
  const qsizetype at = caption.indexOf('&');
  if (at >= 0) caption.remove(at, 1);
  return caption;
}

// The focus frame: a black, white and black line around the control, seen
// on every window colour; the mouse goes through it.
class FocusFrame final : public QWidget {
 public:
  explicit FocusFrame(QWidget* parent) : QWidget(parent) {
    setObjectName("FocusMark");
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    hide();
  }

 protected:
  void paintEvent(QPaintEvent* /*event*/) override {
    QPainter painter(this);
    const QColor lines[] = {Qt::black, Qt::white, Qt::black};
    for (int i = 0; i < 3; ++i) {
      painter.setPen(QPen(lines[i], 1));
      painter.drawRect(rect().adjusted(i, i, -1 - i, -1 - i));
    }
  }
};

// How far the focus frame lies outside its control.
constexpr int kFocusMargin = 3;

}  // namespace

MainWindow::MainWindow() {
  setObjectName("MainWindow");
  setWindowTitle(Q(text::kWindowTitle));
  setWindowIcon(VeskIcon());
  // Single fixed border with minimise and close only, always on top.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
  setFont(WindowFont(11));
  setAutoFillBackground(true);
  setAcceptDrops(true);

  BuildPanel();
  BuildBody();
  BuildAgeControls();
  BuildMenu();
  StatusLine = new StatusBar(this);
  StatusLine->setToolTip(QString());

  brand_click_timer_ = new QTimer(this);
  brand_click_timer_->setSingleShot(true);
  connect(brand_click_timer_, &QTimer::timeout, this, [this] {
    if (OnBrandClick) OnBrandClick();
  });
  BrandLabel->setMouseTracking(true);
  BrandLabel->installEventFilter(this);
  for (KeyBox* box : {EncryptionKey, DecryptionKey}) {
    box->viewport()->setMouseTracking(true);
    box->viewport()->installEventFilter(this);
  }

  for (Control c : {Control::EncryptButton, Control::DecryptButton, Control::SoftKeyboardButton, Control::CreateSelfDecryptingButton, Control::SelfDecryptButton,
                    Control::SeparateButton, Control::ShredItem, Control::EncryptionKey, Control::DecryptionKey, Control::KeylessEncryptItem,
                    Control::KeylessDecryptItem}) {
    enabled_[c] = true;
    bound_[c] = c == Control::EncryptionKey || c == Control::DecryptionKey;
    Refresh(c);
  }
  ApplySettings(settings::WindowSettings{});
  BuildKeyboard();
}

MainWindow::~MainWindow() = default;

QPushButton* MainWindow::AddButton(QWidget* parent, const char* name, const char* caption, const char* hint,
                                   QRect geometry) {
  auto* button = new QPushButton(Q(caption), parent);
  button->setObjectName(name);
  button->setToolTip(Q(hint));
  button->setGeometry(geometry);
  button->setAutoDefault(false);
  own_hints_[button] = button->toolTip();
  return button;
}

void MainWindow::BuildPanel() {
  TopPanel = new QFrame(this);
  TopPanel->setObjectName("TopPanel");
  TopPanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  TopPanel->setGeometry(0, 0, kClientWidth, 103);
  TopPanel->setToolTip(Q(text::kTopPanelHint));

  BrandLabel = new QLabel(Q("Vesk"), TopPanel);
  BrandLabel->setObjectName("BrandLabel");
  BrandLabel->setFont(WindowFont(29));
  BrandLabel->setCursor(Qt::PointingHandCursor);
  BrandLabel->setToolTip(Q(text::kBrandHint));
  BrandLabel->setAttribute(Qt::WA_NoMousePropagation);
  BrandLabel->adjustSize();
  BrandLabel->move(192, 0);

  EncryptButton = AddButton(TopPanel, "EncryptButton", text::kEncryptButton, text::kEncryptButtonHint, {45, 18, 99, 33});
  ResizeButton = AddButton(TopPanel, "ResizeButton", "<<<<<", text::kResizeButtonHint, {190, 35, 65, 27});
  DecryptButton = AddButton(TopPanel, "DecryptButton", text::kDecryptButton, text::kDecryptButtonHint, {299, 18, 99, 33});

  ProgressBar = new QProgressBar(TopPanel);
  ProgressBar->setObjectName("ProgressBar");
  ProgressBar->setGeometry(16, 68, 410, 23);
  ProgressBar->setRange(0, 100);
  ProgressBar->setValue(0);
  ProgressBar->setTextVisible(false);
  ProgressBar->setToolTip(Q(text::kProgressBarHint));
}

void MainWindow::BuildBody() {
  DecryptionKeyLabel = new QLabel(Q(text::kDecryptionKeyLabel), this);
  DecryptionKeyLabel->setObjectName("DecryptionKeyLabel");
  EncryptionKeyLabel = new QLabel(Q(text::kEncryptionKeyLabel), this);
  EncryptionKeyLabel->setObjectName("EncryptionKeyLabel");
  for (QLabel* label : {DecryptionKeyLabel, EncryptionKeyLabel}) {
    label->setToolTip(Q(kKeyHint));
    label->setAttribute(Qt::WA_NoMousePropagation);
    label->adjustSize();
  }
  DecryptionKeyLabel->move(227, 108);
  EncryptionKeyLabel->move(18, 108);

  DecryptionKey = new KeyBox(this);
  DecryptionKey->setObjectName("DecryptionKey");
  DecryptionKey->setGeometry(225, 128, 201, 121);
  EncryptionKey = new KeyBox(this);
  EncryptionKey->setObjectName("EncryptionKey");
  EncryptionKey->setGeometry(16, 128, 201, 121);

  RatioGroup = new QGroupBox(Q(text::kRatioGroup), this);
  RatioGroup->setObjectName("RatioGroup");
  RatioGroup->setGeometry(17, 267, 312, 53);
  RatioGroup->setToolTip(Q(text::kRatioGroupHint));
  RatioGroup->setAttribute(Qt::WA_NoMousePropagation);
  RatioItems = new QButtonGroup(RatioGroup);
  const auto& items = text::kRatioItems;
  // Four columns over the group's inner width.
  const int column = (312 - 16) / 4;
  for (int i = 0; i < 4; ++i) {
    auto* item = new QRadioButton(Q(items[i]), RatioGroup);
    item->setGeometry(8 + i * column, 22, column, 22);
    RatioItems->addButton(item, i);
  }
  RatioItem(settings::kDesignedRatio)->setChecked(true);

  SoftKeyboardButton = AddButton(this, "SoftKeyboardButton", text::kSoftKeyboardButton, text::kSoftKeyboardHint, {348, 293, 77, 28});
  KeyMasking = new QCheckBox(Q(text::kKeyMasking), this);
  KeyMasking->setObjectName("pbmy");
  KeyMasking->setAttribute(Qt::WA_NoMousePropagation);
  KeyMasking->setGeometry(350, 268, 90, 17);

  CreateSelfDecryptingButton = AddButton(this, "CreateSelfDecryptingButton", text::kCreateSelfDecryptingButton, text::kCreateSelfDecryptingHint, {45, 339, 102, 33});
  SelfDecryptButton = AddButton(this, "SelfDecryptButton", text::kSelfDecryptButton, text::kSelfDecryptHint, {306, 339, 90, 33});
  SeparateButton = AddButton(this, "SeparateButton", text::kSeparateButton, text::kSeparateHint, {192, 339, 70, 33});
}

void MainWindow::BuildMenu() {
  PopupMenu = new QMenu(this);
  PopupMenu->setObjectName("PopupMenu");
  const struct {
    const char* name;
    const char* caption;
    char key;  // the letter that chooses it while the menu is open
  } items[] = {
      {"ClearKeysItem", text::kClearKeysItem, 'K'},
      {"ClearClipboardItem", text::kClearClipboardItem, 'C'},
      {"Separator1", "-", 0},
      {"EncryptFolderItem", text::kEncryptFolderItem, 'F'},
      {"ShredItem", text::kShredItem, 'S'},
      {"Separator2", "-", 0},
      {"GenerateIdentityItem", text::kGenerateIdentityItem, 'G'},
      {"EncryptToRecipientsItem", text::kEncryptToRecipientsItem, 'R'},
      {"ChooseIdentitiesItem", text::kChooseIdentitiesItem, 'I'},
      {"InspectAgeFileItem", text::kInspectAgeFileItem, 'E'},
      {"SeparatorAge", "-", 0},
      {"RegisterFileTypeItem", text::kRegisterFileTypeItem, 'J'},
      {"ContextMenuItem", text::kContextMenuItem, 'M'},
      {"Separator3", "-", 0},
      {"UnregisterItem", text::kUnregisterItem, 'L'},
      {"Separator4", "-", 0},
      {"HelpItem", text::kHelpItem, 'H'},
      {"CheckForUpdatesItem", text::kCheckForUpdatesItem, 'U'},
      {"HomePageItem", text::kHomePageItem, 'W'},
      {"Separator5", "-", 0},
      {"AboutItem", text::kAboutItem, 'A'},
      {"LanguageItem", ShownLanguage() == Language::kChinese ? text::kUseEnglishItem : text::kUseChineseItem, 'T'},
  };
  for (const auto& item : items) {
    const bool separator = std::string_view(item.caption) == "-";
    QAction* action = separator ? PopupMenu->addSeparator() : PopupMenu->addAction(WithAccelerator(Q(item.caption), item.key));
    action->setObjectName(item.name);
    // Each item is usable once its command is bound (see MenuItem users).
    action->setEnabled(false);
    menu_items_[item.name] = action;
    accelerators_[item.name] = item.key;
  }
  // The key-less items, inserted at the top while they are revealed.
  for (const auto& [name, caption, key] : {std::tuple{"KeylessEncryptItem", text::kKeylessEncryptItem, 'N'},
                                           std::tuple{"KeylessDecryptItem", text::kKeylessDecryptItem, 'D'}}) {
    auto* action = new QAction(WithAccelerator(Q(caption), key), PopupMenu);
    action->setObjectName(name);
    menu_items_[name] = action;
    accelerators_[name] = key;
  }
  keyless_separator_ = new QAction(PopupMenu);
  keyless_separator_->setSeparator(true);

  for (QWidget* owner : {static_cast<QWidget*>(TopPanel), static_cast<QWidget*>(BrandLabel)}) {
    owner->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(owner, &QWidget::customContextMenuRequested, this,
            [this, owner](const QPoint& at) { PopupMenu->popup(owner->mapToGlobal(at)); });
  }
}

void MainWindow::BuildKeyboard() {
  // Tab goes through the controls as they are laid out: row by row, left
  // to right. A key box passes Tab on instead of taking it into the key.
  for (KeyBox* box : {EncryptionKey, DecryptionKey}) box->setTabChangesFocus(true);
  const QList<QWidget*> order = {EncryptButton, ResizeButton,  DecryptButton, EncryptionKey, DecryptionKey,
                                 RatioItem(0),  RatioItem(1),  RatioItem(2),  RatioItem(3),  KeyMasking,
                                 SoftKeyboardButton, FormatItem(0), FormatItem(1), CreateSelfDecryptingButton,
                                 SeparateButton, SelfDecryptButton};
  for (qsizetype i = 0; i + 1 < order.size(); ++i) setTabOrder(order[i], order[i + 1]);

  // The Menu key and Shift+F10 open the window's popup menu wherever the
  // focus is, a key box included (its own edit menu stays on the mouse).
  for (const QKeySequence& keys : {QKeySequence(Qt::Key_Menu), QKeySequence(Qt::SHIFT | Qt::Key_F10)}) {
    auto* shortcut = new QShortcut(keys, this);
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, this, [this] { PopupMenuFromKeyboard(); });
  }

  focus_mark_ = new FocusFrame(this);
  for (QWidget* widget : findChildren<QWidget*>()) {
    if (widget->focusPolicy() != Qt::NoFocus && !widget->isWindow()) widget->installEventFilter(this);
  }
}

void MainWindow::PopupMenuFromKeyboard() {
  QWidget* focus = focusWidget();
  const QPoint at = focus != nullptr ? focus->mapToGlobal(focus->rect().center()) : mapToGlobal(rect().center());
  PopupMenu->popup(at);
  // The first usable item is chosen, so that Enter and the arrows start there.
  for (QAction* action : PopupMenu->actions()) {
    if (!action->isSeparator() && action->isEnabled() && action->isVisible()) {
      PopupMenu->setActiveAction(action);
      break;
    }
  }
}

void MainWindow::FocusMoved(QWidget* widget, QEvent* event) {
  const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
  // The window losing or regaining the focus, or a menu opening, leaves the
  // frame as it was.
  const bool passing = reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason;
  if (event->type() == QEvent::FocusOut) {
    if (!passing) focus_mark_->hide();
    return;
  }
  if (reason == Qt::MouseFocusReason || (passing && !focus_mark_->isVisible())) return focus_mark_->hide();
  const QRect at(widget->mapTo(this, QPoint(0, 0)), widget->size());
  focus_mark_->setGeometry(at.adjusted(-kFocusMargin, -kFocusMargin, kFocusMargin, kFocusMargin));
  focus_mark_->raise();
  focus_mark_->show();
}

void MainWindow::FocusControl(Control c) {
  QWidget* widget = Widget(c);
  if (widget == nullptr) return;
  widget->setFocus(Qt::OtherFocusReason);
  // A window that is not active yet gets the focus event only later.
  QFocusEvent shown(QEvent::FocusIn, Qt::OtherFocusReason);
  FocusMoved(widget, &shown);
}

char MainWindow::AcceleratorOf(const std::string& name) const {
  auto it = accelerators_.find(name);
  return it == accelerators_.end() ? 0 : it->second;
}

void MainWindow::SetControlHint(Control c, const std::string& text) {
  QPushButton* button = ButtonFor(c);
  if (button == nullptr) return;
  button->setToolTip(text.empty() ? own_hints_[button] : Q(text));
}

QRadioButton* MainWindow::RatioItem(int index) const {
  return static_cast<QRadioButton*>(RatioItems->button(index));
}

QAction* MainWindow::MenuItem(const std::string& name) const {
  auto it = menu_items_.find(name);
  return it == menu_items_.end() ? nullptr : it->second;
}

QAction* MainWindow::ActionFor(Control c) const {
  switch (c) {
    case Control::ShredItem: return MenuItem("ShredItem");
    case Control::KeylessEncryptItem: return MenuItem("KeylessEncryptItem");
    case Control::KeylessDecryptItem: return MenuItem("KeylessDecryptItem");
    default: return nullptr;
  }
}

void MainWindow::ShowKeylessItems(bool visible) {
  if (visible == KeylessItemsShown()) return;
  QAction* encrypt = MenuItem("KeylessEncryptItem");
  QAction* decrypt = MenuItem("KeylessDecryptItem");
  if (visible) {
    QAction* first = PopupMenu->actions().value(0);
    PopupMenu->insertActions(first, {encrypt, decrypt, keyless_separator_});
  } else {
    for (QAction* a : {encrypt, decrypt, keyless_separator_}) PopupMenu->removeAction(a);
  }
}

bool MainWindow::KeylessItemsShown() const { return PopupMenu->actions().contains(MenuItem("KeylessEncryptItem")); }

QPushButton* MainWindow::ButtonFor(Control c) const { return qobject_cast<QPushButton*>(Widget(c)); }

KeyBox* MainWindow::KeyBoxFor(Control box) const { return box == Control::DecryptionKey ? DecryptionKey : EncryptionKey; }

QWidget* MainWindow::Widget(Control c) const {
  switch (c) {
    case Control::EncryptButton: return EncryptButton;
    case Control::DecryptButton: return DecryptButton;
    case Control::SoftKeyboardButton: return SoftKeyboardButton;
    case Control::CreateSelfDecryptingButton: return CreateSelfDecryptingButton;
    case Control::SelfDecryptButton: return SelfDecryptButton;
    case Control::SeparateButton: return SeparateButton;
    case Control::EncryptionKey: return EncryptionKey;
    case Control::DecryptionKey: return DecryptionKey;
    case Control::ShredItem:
    case Control::KeylessEncryptItem:
    case Control::KeylessDecryptItem: return nullptr;  // menu items
  }
  return nullptr;
}

void MainWindow::Refresh(Control c) {
  const bool on = enabled_[c] && bound_[c];
  if (QAction* item = ActionFor(c)) {
    item->setEnabled(on);
  } else if (QWidget* w = Widget(c)) {
    w->setEnabled(on);
  }
}

void MainWindow::SetControlEnabled(Control c, bool enabled) {
  enabled_[c] = enabled;
  Refresh(c);
}

bool MainWindow::ControlEnabled(Control c) const {
  auto it = enabled_.find(c);
  return it != enabled_.end() && it->second;
}

void MainWindow::SetBound(Control c, bool bound) {
  bound_[c] = bound;
  Refresh(c);
}

void MainWindow::SetControlCaption(Control c, const std::string& caption) {
  if (QAction* item = ActionFor(c)) {
    item->setText(WithAccelerator(Q(caption), AcceleratorOf(item->objectName().toStdString())));
  } else if (QPushButton* button = ButtonFor(c)) {
    button->setText(Q(caption));
  }
}

std::string MainWindow::ControlCaption(Control c) const {
  if (QAction* item = ActionFor(c)) {
    return WithoutAccelerator(item->text(), AcceleratorOf(item->objectName().toStdString())).toStdString();
  }
  if (QPushButton* button = ButtonFor(c)) return button->text().toStdString();
  return {};
}

void MainWindow::SetStatusText(const std::string& text) { StatusLine->SetMessage(Q(text)); }

std::string MainWindow::StatusText() const { return StatusLine->Message().toStdString(); }

void MainWindow::SetHint(Hint h, const std::string& text) {
  // The source is the icon panel's hint: the status line's own tooltip is
  // its message.
  (h == Hint::Output ? static_cast<QWidget*>(ProgressBar) : static_cast<QWidget*>(StatusLine->Glyph))->setToolTip(Q(text));
}

void MainWindow::SetBarRange(int64_t max) {
  // A bar of range 0..0 would show Qt's busy animation; an empty range shows
  // an empty bar instead.
  const int top = static_cast<int>(std::clamp<int64_t>(max, 1, INT_MAX));
  ProgressBar->setRange(0, top);
}

void MainWindow::SetBarPosition(int64_t position) {
  ProgressBar->setValue(static_cast<int>(std::clamp<int64_t>(position, 0, ProgressBar->maximum())));
}

void MainWindow::ApplySettings(const settings::WindowSettings& s) {
  {
    // Selections made in code do not come back as user clicks.
    const QSignalBlocker group_blocker(RatioItems);
    QAbstractButton* item = RatioItems->button(s.RatioIndex);
    if (item != nullptr) {
      const QSignalBlocker item_blocker(item);
      item->setChecked(true);
    } else if (QAbstractButton* checked = RatioItems->checkedButton()) {
      // No item selected.
      RatioItems->setExclusive(false);
      const QSignalBlocker item_blocker(checked);
      checked->setChecked(false);
      RatioItems->setExclusive(true);
    }
  }
  {
    const QSignalBlocker blocker(KeyMasking);
    KeyMasking->setChecked(s.KeysMasked);
  }

  QPalette window_palette = palette();
  window_palette.setColor(QPalette::Window, FromColourValue(s.WindowColour));
  setPalette(window_palette);

  QPalette brand = BrandLabel->palette();
  brand.setColor(QPalette::WindowText, FromColourValue(s.BrandColour));
  BrandLabel->setPalette(brand);

  for (auto [box, look] : {std::pair{EncryptionKey, s.EncryptionKey}, std::pair{DecryptionKey, s.DecryptionKey}}) {
    QPalette p = box->palette();
    const QColor background = FromColourValue(look.Background);
    const QColor text = FromColourValue(look.FontColour);
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive}) {
      p.setColor(g, QPalette::Base, background);
      p.setColor(g, QPalette::Text, text);
    }
    // A masked box stays unreadable while a command has disabled it.
    const QPalette standard = QApplication::palette(box);
    p.setColor(QPalette::Disabled, QPalette::Base, s.KeysMasked ? background : standard.color(QPalette::Disabled, QPalette::Base));
    p.setColor(QPalette::Disabled, QPalette::Text, s.KeysMasked ? text : standard.color(QPalette::Disabled, QPalette::Text));
    box->setPalette(p);
  }

  ApplyFormat(s.Format);
  ResizeButton->setText(Q(s.Size.Caption));
  setFixedSize(kClientWidth, std::max(s.Size.Height - kFrameHeight, kStatusBarHeight));
}

void MainWindow::SetBrandCaption(const std::string& caption) {
  if (BrandLabel->text() == Q(caption)) return;
  BrandLabel->setText(Q(caption));
  BrandLabel->adjustSize();
}

void MainWindow::PopupMenuAt(QPoint offset) { PopupMenu->popup(frameGeometry().topLeft() + offset); }

void MainWindow::SetKeyHint(Control box, const std::string& text) { KeyBoxFor(box)->setToolTip(Q(text)); }

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if ((type == QEvent::FocusIn || type == QEvent::FocusOut) && watched->isWidgetType()) {
    auto* widget = static_cast<QWidget*>(watched);
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    // Tab into a group of choices lands on the one chosen.
    for (QButtonGroup* group : {RatioItems, FormatItems}) {
      QAbstractButton* chosen = group->checkedButton();
      if (type == QEvent::FocusIn && (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason) &&
          chosen != nullptr && chosen != widget && group->buttons().contains(widget)) {
        chosen->setFocus(reason);
        return false;
      }
    }
    FocusMoved(widget, event);
  }
  // The Menu key in a key box opens the window's menu, not the box's.
  if (type == QEvent::ContextMenu && static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard) {
    for (KeyBox* box : {EncryptionKey, DecryptionKey}) {
      if (watched == box || watched == box->viewport()) {
        PopupMenuFromKeyboard();
        return true;
      }
    }
  }
  const bool left = (type == QEvent::MouseButtonRelease || type == QEvent::MouseButtonDblClick) &&
                    static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
  if (watched == BrandLabel) {
    if (type == QEvent::MouseMove && OnBrandMouseMove) {
      OnBrandMouseMove();
    } else if (left && type == QEvent::MouseButtonDblClick) {
      brand_click_timer_->stop();
      brand_double_clicked_ = true;
      if (OnBrandDoubleClick) OnBrandDoubleClick();
      return true;
    } else if (left && brand_double_clicked_) {
      brand_double_clicked_ = false;  // the release of the double-click is no click of its own
    } else if (left && BrandLabel->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint())) {
      brand_click_timer_->start(QApplication::doubleClickInterval());
    }
    return false;
  }
  for (KeyBox* box : {EncryptionKey, DecryptionKey}) {
    if (watched != box->viewport()) continue;
    const Control c = box == EncryptionKey ? Control::EncryptionKey : Control::DecryptionKey;
    if (type == QEvent::MouseMove && OnKeyBoxMouseMove) OnKeyBoxMouseMove(c);
    if (left && type == QEvent::MouseButtonRelease && OnKeyBoxClick) OnKeyBoxClick(c);
  }
  return QWidget::eventFilter(watched, event);
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
  // A control without a menu of its own passes the Menu key on to here.
  if (event->reason() != QContextMenuEvent::Keyboard) return event->ignore();
  PopupMenuFromKeyboard();
  event->accept();
}

void MainWindow::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  // Double-clicks of the children that do not handle them arrive here too;
  // only the body, the top panel and the status bar have a double-click.
  QWidget* target = childAt(event->position().toPoint());
  if (target == nullptr || target == TopPanel) {
    if (OnWindowDoubleClick) OnWindowDoubleClick();
  } else if (target == StatusLine || StatusLine->isAncestorOf(target)) {
    if (OnStatusDoubleClick) OnStatusDoubleClick();
  }
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (StatusLine == nullptr) return;
  StatusLine->setGeometry(0, height() - kStatusBarHeight, kClientWidth, kStatusBarHeight);
  StatusLine->raise();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (OnClose) OnClose();
  event->accept();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (!DroppedFiles(event->mimeData()).empty()) event->acceptProposedAction();
}

void MainWindow::dragMoveEvent(QDragMoveEvent* event) {
  if (!DroppedFiles(event->mimeData()).empty()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  const std::vector<std::string> paths = DroppedFiles(event->mimeData());
  if (paths.empty()) return;
  event->acceptProposedAction();
  if (OnDrop) OnDrop(paths);
}

void MainWindow::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
  // Dragging by any point of the body, the top panel, the bar or the status
  // bar moves the window. The move starts only once the pointer has left the
  // drag distance: a window manager that takes over the mouse on the press
  // would swallow the double-clicks of the same places.
  press_pending_ = true;
  press_point_ = event->globalPosition().toPoint();
}

void MainWindow::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton)) {
    press_pending_ = dragging_ = false;
    return;
  }
  const QPoint at = event->globalPosition().toPoint();
  if (press_pending_ && (at - press_point_).manhattanLength() >= QApplication::startDragDistance()) {
    press_pending_ = false;
    QWindow* handle = window()->windowHandle();
    if (handle != nullptr && handle->startSystemMove()) return;
    // Where the window system cannot move the window, it follows the pointer.
    dragging_ = true;
    drag_offset_ = press_point_ - frameGeometry().topLeft();
  }
  if (dragging_) move(at - drag_offset_);
}

void MainWindow::mouseReleaseEvent(QMouseEvent* event) {
  press_pending_ = dragging_ = false;
  QWidget::mouseReleaseEvent(event);
}

}  // namespace vesk::gui
