#include "gui/file_dialog_view.h"
#include "gui/texts.h"

#include <algorithm>

#include <utility>

#include <QDateTime>
#include <QEvent>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFontMetrics>
#include <QHeaderView>
#include <QScreen>
#include <QSplitter>
#include <QTreeView>

namespace vesk::gui {
namespace {

// Room for a cell's margins and the header's sort mark.
constexpr int kColumnPadding = 28;
// The name column holds this many average Chinese characters.
constexpr int kNameCharacters = 18;
// The places list beside the folder, and the frame, buttons and scroll bar
// around the columns.
constexpr int kSidebarWidth = 170;
constexpr int kChromeWidth = 60;
constexpr int kFittingHeight = 460;

QString Q(const char* s) { return QString::fromUtf8(s); }

QLocale Chinese() { return QLocale(QLocale::Chinese, QLocale::China); }

}  // namespace

LocalisedFileColumns::LocalisedFileColumns(QLocale locale, QObject* parent)
    : QIdentityProxyModel(parent), locale_(std::move(locale)) {}

QVariant LocalisedFileColumns::data(const QModelIndex& index, int role) const {
  const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
  if (role != Qt::DisplayRole || files == nullptr || !index.isValid() || index.column() == kNameColumn ||
      index.column() > kDateColumn) {
    return QIdentityProxyModel::data(index, role);
  }
  const QModelIndex source = mapToSource(index);
  if (index.column() == kTypeColumn) {
    // Qt's own catalogue has no Chinese word for a folder.
    return files->isDir(source) ? Q(text::kFolderType) : QIdentityProxyModel::data(index, role);
  }
  if (index.column() == kSizeColumn) {
    // Folders have no size, as in the model itself.
    if (files->isDir(source)) return QIdentityProxyModel::data(index, role);
    return locale_.formattedDataSize(files->size(source));
  }
  const QDateTime modified = files->lastModified(source);
  if (!modified.isValid()) return QIdentityProxyModel::data(index, role);
  return locale_.toString(modified, QLocale::ShortFormat);
}

std::array<int, 4> FileColumnWidths(const QFontMetrics& metrics, const QLocale& locale) {
  const auto fit = [&](const QString& text) { return metrics.horizontalAdvance(text) + kColumnPadding; };
  // The widest of each kind: sizes up to the largest file the program
  // handles, a date with two-digit month, day and hour, a long type name.
  const int size = std::max(fit(locale.formattedDataSize(int64_t{1022} * 1024 * 1024 * 1024 + 1000)),
                            fit(locale.formattedDataSize(1023)));
  const int date = fit(locale.toString(QDateTime(QDate(2000, 12, 28), QTime(23, 59)), QLocale::ShortFormat));
  const int type = fit(Q(text::kWidestFileType));
  const int name = metrics.horizontalAdvance(QString(kNameCharacters, QChar(0x6587))) + kColumnPadding;
  return {name, size, type, date};
}

FileDialogShaper::FileDialogShaper(QFileDialog& dialog, std::optional<QSize> remembered)
    : dialog_(dialog), remembered_(remembered) {
  dialog_.installEventFilter(this);
}

QSize FileDialogShaper::FittingSize(const QFileDialog& dialog) {
  const std::array<int, 4> columns = FileColumnWidths(dialog.fontMetrics(), Chinese());
  int width = kSidebarWidth + kChromeWidth;
  for (int column : columns) width += column;
  return {width, kFittingHeight};
}

bool FileDialogShaper::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &dialog_ && event->type() == QEvent::Show && !shaped_) Shape();
  return QObject::eventFilter(watched, event);
}

void FileDialogShaper::Shape() {
  // Qt makes the dialog's widgets only when it draws the dialog itself; a
  // dialog of the desktop's has none to shape.
  auto* view = dialog_.findChild<QTreeView*>("treeView");
  if (view == nullptr) return;
  shaped_ = true;
  dialog_.setProxyModel(new LocalisedFileColumns(Chinese(), &dialog_));
  const std::array<int, 4> widths = FileColumnWidths(view->fontMetrics(), Chinese());
  QHeaderView* header = view->header();
  for (int column = 0; column < 4; ++column) header->resizeSection(column, widths[static_cast<std::size_t>(column)]);

  QSize size = remembered_.value_or(FittingSize(dialog_));
  if (const QScreen* screen = dialog_.screen()) size = size.boundedTo(screen->availableGeometry().size());
  dialog_.resize(size.expandedTo(dialog_.minimumSizeHint()));
  shaped_size_ = dialog_.size();
  if (auto* splitter = dialog_.findChild<QSplitter*>("splitter")) {
    splitter->setSizes({kSidebarWidth, std::max(dialog_.width() - kSidebarWidth, 0)});
  }
}

}  // namespace vesk::gui
