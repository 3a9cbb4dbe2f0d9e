#include "gui/main_window.h"

#include <algorithm>
#include <climits>

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
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
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

const char kKeyHint[] = "密钥长度最长为1028个字体(即密钥大小最大可以为2056个字节)";

}  // namespace

StatusBar::StatusBar(QWidget* parent) : QWidget(parent) {
  setObjectName("StatusBar1");
  // Opaque in the button face colour: in the smaller window sizes it covers
  // the controls it is moved over.
  setAutoFillBackground(true);
  setBackgroundRole(QPalette::Button);
  Panel0 = new QLabel(Q("  UFO飞行动力原理已公开!!"), this);
  Panel1 = new QLabel(Q("  请先输入(或者粘贴)加密或者解密的密钥,再进行加/解密文件的操作..."), this);
  for (QLabel* panel : {Panel0, Panel1}) {
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setTextFormat(Qt::PlainText);
    panel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  }
  Panel0->setGeometry(0, 1, 16, kStatusBarHeight - 1);
  Panel1->setGeometry(18, 1, 1050, kStatusBarHeight - 1);
}

MainWindow::MainWindow() {
  setObjectName("ysjm");
  setWindowTitle(Q("Vesk 文件加密"));
  setWindowIcon(VeskIcon());
  // Single fixed border with minimise and close only, always on top.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
  setFont(WindowFont(11));
  setAutoFillBackground(true);
  setAcceptDrops(true);

  BuildPanel();
  BuildBody();
  BuildMenu();
  StatusBar1 = new StatusBar(this);
  StatusBar1->setToolTip(QString());

  brand_click_timer_ = new QTimer(this);
  brand_click_timer_->setSingleShot(true);
  connect(brand_click_timer_, &QTimer::timeout, this, [this] {
    if (OnBrandClick) OnBrandClick();
  });
  Label3->setMouseTracking(true);
  Label3->installEventFilter(this);
  for (KeyBox* box : {jm1, jm2}) {
    box->viewport()->setMouseTracking(true);
    box->viewport()->installEventFilter(this);
  }

  for (Control c : {Control::Button1, Control::Button2, Control::Button5, Control::Button6, Control::Button7,
                    Control::Button8, Control::delfl, Control::jm1, Control::jm2, Control::KeylessEncryptItem,
                    Control::KeylessDecryptItem}) {
    enabled_[c] = true;
    bound_[c] = c == Control::jm1 || c == Control::jm2;
    Refresh(c);
  }
  ApplySettings(settings::WindowSettings{});
}

MainWindow::~MainWindow() = default;

QPushButton* MainWindow::AddButton(QWidget* parent, const char* name, const char* caption, const char* hint,
                                   QRect geometry) {
  auto* button = new QPushButton(Q(caption), parent);
  button->setObjectName(name);
  button->setToolTip(Q(hint));
  button->setGeometry(geometry);
  button->setAutoDefault(false);
  return button;
}

void MainWindow::BuildPanel() {
  Panel1 = new QFrame(this);
  Panel1->setObjectName("Panel1");
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel1->setGeometry(0, 0, kClientWidth, 103);
  Panel1->setToolTip(Q("鼠标右键单击显示菜单...,鼠标左键双击改变窗体颜色"));

  Label3 = new QLabel(Q("Vesk"), Panel1);
  Label3->setObjectName("Label3");
  Label3->setFont(WindowFont(29));
  Label3->setCursor(Qt::PointingHandCursor);
  Label3->setToolTip(Q("鼠标单击显示菜单...鼠标左键双击改变Vesk颜色"));
  Label3->setAttribute(Qt::WA_NoMousePropagation);
  Label3->adjustSize();
  Label3->move(192, 0);

  Button1 = AddButton(Panel1, "Button1", "加密文件", "选择任意文件进行加密处理，无密码就只压缩不加密", {45, 18, 99, 33});
  sf = AddButton(Panel1, "sf", "<<<<<", "窗体缩放", {190, 35, 65, 27});
  Button2 = AddButton(Panel1, "Button2", "解密文件", "选择任意本程序加密过的文件进行解密处理", {299, 18, 99, 33});

  ProgressBar1 = new QProgressBar(Panel1);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setGeometry(16, 68, 410, 23);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);
  ProgressBar1->setToolTip(Q("进度条"));
}

void MainWindow::BuildBody() {
  Label1 = new QLabel(Q("请先输入解密的密钥："), this);
  Label1->setObjectName("Label1");
  Label2 = new QLabel(Q("请先输入加密的密钥："), this);
  Label2->setObjectName("Label2");
  for (QLabel* label : {Label1, Label2}) {
    label->setToolTip(Q(kKeyHint));
    label->setAttribute(Qt::WA_NoMousePropagation);
    label->adjustSize();
  }
  Label1->move(227, 108);
  Label2->move(18, 108);

  jm2 = new KeyBox(this);
  jm2->setObjectName("jm2");
  jm2->setGeometry(225, 128, 201, 121);
  jm1 = new KeyBox(this);
  jm1->setObjectName("jm1");
  jm1->setGeometry(16, 128, 201, 121);

  rgysl = new QGroupBox(Q("文件压缩率"), this);
  rgysl->setObjectName("rgysl");
  rgysl->setGeometry(17, 267, 312, 53);
  rgysl->setToolTip(Q("直接压缩或者保存密钥加密文件时用的,解密时不需选择"));
  rgysl->setAttribute(Qt::WA_NoMousePropagation);
  rgyslItems = new QButtonGroup(rgysl);
  const char* items[] = {"不压缩", "快速压缩", "正常压缩", "最大压缩"};
  // Four columns over the group's inner width.
  const int column = (312 - 16) / 4;
  for (int i = 0; i < 4; ++i) {
    auto* item = new QRadioButton(Q(items[i]), rgysl);
    item->setGeometry(8 + i * column, 22, column, 22);
    rgyslItems->addButton(item, i);
  }
  RatioItem(settings::kDesignedRatio)->setChecked(true);

  Button5 = AddButton(this, "Button5", "软键盘", "打开软键盘，使用输入法的软键盘可能会更好。", {348, 293, 77, 28});
  pbmy = new QCheckBox(Q("屏蔽密钥"), this);
  pbmy->setObjectName("pbmy");
  pbmy->setAttribute(Qt::WA_NoMousePropagation);
  pbmy->setGeometry(350, 268, 90, 17);

  Button6 = AddButton(this, "Button6", "创建自解密", "创建包含自解密程序的加密文件", {45, 339, 102, 33});
  Button7 = AddButton(this, "Button7", "自解密", "解密自身包含的已加密文件", {306, 339, 90, 33});
  Button8 = AddButton(this, "Button8", "分离", "加解密程序和自身包含的已加密文件分离", {192, 339, 70, 33});
}

void MainWindow::BuildMenu() {
  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName("PopupMenu1");
  const std::pair<const char*, const char*> items[] = {
      {"N5", "清空加解密钥编辑框的内容"},
      {"N12", "清空剪贴板文本内容(粘贴密钥后用的)"},
      {"N13", "-"},
      {"delfl", "粉碎文件(彻底删除文件，慎用)"},
      {"N15", "-"},
      {"N6", "注册关联jmz加密文件"},
      {"N7", "快捷方式增加到文件右键菜单"},
      {"N10", "-"},
      {"N9", "清除本程序全部注册表项"},
      {"N4", "-"},
      {"N11", "帮助..."},
      {"N1", "检查更新..."},
      {"N2", "主页..."},
      {"N8", "-"},
      {"N3", "关于..."},
  };
  for (const auto& [name, caption] : items) {
    QAction* action = std::string_view(caption) == "-" ? PopupMenu1->addSeparator() : PopupMenu1->addAction(Q(caption));
    action->setObjectName(name);
    // Each item is usable once its command is bound (see MenuItem users).
    action->setEnabled(false);
    menu_items_[name] = action;
  }
  // The key-less items, inserted at the top while they are revealed.
  for (const auto& [name, caption] : {std::pair{"KeylessEncryptItem", "创建不保存密钥的加密文件"},
                                      std::pair{"KeylessDecryptItem", "解密不保存密钥的加密文件"}}) {
    auto* action = new QAction(Q(caption), PopupMenu1);
    action->setObjectName(name);
    menu_items_[name] = action;
  }
  keyless_separator_ = new QAction(PopupMenu1);
  keyless_separator_->setSeparator(true);

  for (QWidget* owner : {static_cast<QWidget*>(Panel1), static_cast<QWidget*>(Label3)}) {
    owner->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(owner, &QWidget::customContextMenuRequested, this,
            [this, owner](const QPoint& at) { PopupMenu1->popup(owner->mapToGlobal(at)); });
  }
}

QRadioButton* MainWindow::RatioItem(int index) const {
  return static_cast<QRadioButton*>(rgyslItems->button(index));
}

QAction* MainWindow::MenuItem(const std::string& name) const {
  auto it = menu_items_.find(name);
  return it == menu_items_.end() ? nullptr : it->second;
}

QAction* MainWindow::ActionFor(Control c) const {
  switch (c) {
    case Control::delfl: return MenuItem("delfl");
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
    QAction* first = PopupMenu1->actions().value(0);
    PopupMenu1->insertActions(first, {encrypt, decrypt, keyless_separator_});
  } else {
    for (QAction* a : {encrypt, decrypt, keyless_separator_}) PopupMenu1->removeAction(a);
  }
}

bool MainWindow::KeylessItemsShown() const { return PopupMenu1->actions().contains(MenuItem("KeylessEncryptItem")); }

QPushButton* MainWindow::ButtonFor(Control c) const { return qobject_cast<QPushButton*>(Widget(c)); }

KeyBox* MainWindow::KeyBoxFor(Control box) const { return box == Control::jm2 ? jm2 : jm1; }

QWidget* MainWindow::Widget(Control c) const {
  switch (c) {
    case Control::Button1: return Button1;
    case Control::Button2: return Button2;
    case Control::Button5: return Button5;
    case Control::Button6: return Button6;
    case Control::Button7: return Button7;
    case Control::Button8: return Button8;
    case Control::jm1: return jm1;
    case Control::jm2: return jm2;
    case Control::delfl:
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
    item->setText(Q(caption));
  } else if (QPushButton* button = ButtonFor(c)) {
    button->setText(Q(caption));
  }
}

std::string MainWindow::ControlCaption(Control c) const {
  if (QAction* item = ActionFor(c)) return item->text().toStdString();
  if (QPushButton* button = ButtonFor(c)) return button->text().toStdString();
  return {};
}

void MainWindow::SetStatusText(const std::string& text) { StatusBar1->Panel1->setText(Q(text)); }

std::string MainWindow::StatusText() const { return StatusBar1->Panel1->text().toStdString(); }

void MainWindow::SetHint(Hint h, const std::string& text) {
  (h == Hint::ProgressBar1 ? static_cast<QWidget*>(ProgressBar1) : static_cast<QWidget*>(StatusBar1))->setToolTip(Q(text));
}

void MainWindow::SetBarRange(int64_t max) {
  // A bar of range 0..0 would show Qt's busy animation; an empty range shows
  // an empty bar instead.
  const int top = static_cast<int>(std::clamp<int64_t>(max, 1, INT_MAX));
  ProgressBar1->setRange(0, top);
}

void MainWindow::SetBarPosition(int64_t position) {
  ProgressBar1->setValue(static_cast<int>(std::clamp<int64_t>(position, 0, ProgressBar1->maximum())));
}

void MainWindow::ApplySettings(const settings::WindowSettings& s) {
  {
    // Selections made in code do not come back as user clicks.
    const QSignalBlocker group_blocker(rgyslItems);
    QAbstractButton* item = rgyslItems->button(s.RatioIndex);
    if (item != nullptr) {
      const QSignalBlocker item_blocker(item);
      item->setChecked(true);
    } else if (QAbstractButton* checked = rgyslItems->checkedButton()) {
      // No item selected.
      rgyslItems->setExclusive(false);
      const QSignalBlocker item_blocker(checked);
      checked->setChecked(false);
      rgyslItems->setExclusive(true);
    }
  }
  {
    const QSignalBlocker blocker(pbmy);
    pbmy->setChecked(s.KeysMasked);
  }

  QPalette window_palette = palette();
  window_palette.setColor(QPalette::Window, FromColourValue(s.WindowColour));
  setPalette(window_palette);

  QPalette brand = Label3->palette();
  brand.setColor(QPalette::WindowText, FromColourValue(s.BrandColour));
  Label3->setPalette(brand);

  for (auto [box, look] : {std::pair{jm1, s.jm1}, std::pair{jm2, s.jm2}}) {
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

  sf->setText(Q(s.Size.Caption));
  setFixedSize(kClientWidth, std::max(s.Size.Height - kFrameHeight, kStatusBarHeight));
}

void MainWindow::SetBrandCaption(const std::string& caption) {
  if (Label3->text() == Q(caption)) return;
  Label3->setText(Q(caption));
  Label3->adjustSize();
}

void MainWindow::PopupMenuAt(QPoint offset) { PopupMenu1->popup(frameGeometry().topLeft() + offset); }

void MainWindow::SetKeyHint(Control box, const std::string& text) { KeyBoxFor(box)->setToolTip(Q(text)); }

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  const bool left = (type == QEvent::MouseButtonRelease || type == QEvent::MouseButtonDblClick) &&
                    static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
  if (watched == Label3) {
    if (type == QEvent::MouseMove && OnBrandMouseMove) {
      OnBrandMouseMove();
    } else if (left && type == QEvent::MouseButtonDblClick) {
      brand_click_timer_->stop();
      brand_double_clicked_ = true;
      if (OnBrandDoubleClick) OnBrandDoubleClick();
      return true;
    } else if (left && brand_double_clicked_) {
      brand_double_clicked_ = false;  // the release of the double-click is no click of its own
    } else if (left && Label3->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint())) {
      brand_click_timer_->start(QApplication::doubleClickInterval());
    }
    return false;
  }
  for (KeyBox* box : {jm1, jm2}) {
    if (watched != box->viewport()) continue;
    const Control c = box == jm1 ? Control::jm1 : Control::jm2;
    if (type == QEvent::MouseMove && OnKeyBoxMouseMove) OnKeyBoxMouseMove(c);
    if (left && type == QEvent::MouseButtonRelease && OnKeyBoxClick) OnKeyBoxClick(c);
  }
  return QWidget::eventFilter(watched, event);
}

void MainWindow::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  // Double-clicks of the children that do not handle them arrive here too;
  // only the body, the top panel and the status bar have a double-click.
  QWidget* target = childAt(event->position().toPoint());
  if (target == nullptr || target == Panel1) {
    if (OnWindowDoubleClick) OnWindowDoubleClick();
  } else if (target == StatusBar1 || StatusBar1->isAncestorOf(target)) {
    if (OnStatusDoubleClick) OnStatusDoubleClick();
  }
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (StatusBar1 == nullptr) return;
  StatusBar1->setGeometry(0, height() - kStatusBarHeight, kClientWidth, kStatusBarHeight);
  StatusBar1->raise();
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
