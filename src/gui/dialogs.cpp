#include "gui/dialogs.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

namespace vesk::gui {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

QStringList NameFiltersFor(const std::string& filter) {
  const QStringList parts = Q(filter).split('|');
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns = parts[i + 1].split(';', Qt::SkipEmptyParts);
    for (QString& p : patterns) {
      p = p.trimmed();
      if (p == "*.*") p = "*";
    }
    filters << parts[i] + " (" + patterns.join(' ') + ")";
  }
  if (filters.isEmpty()) filters << "(*)";
  return filters;
}

qsizetype FilterIndexOf(const QStringList& filters, const QString& selected) {
  const qsizetype whole = filters.indexOf(selected);
  if (whole >= 0) return whole;
  for (qsizetype i = 0; i < filters.size(); ++i) {
    if (filters[i].left(filters[i].lastIndexOf('(')).trimmed() == selected.trimmed()) return i;
  }
  return -1;
}

void FitTitle(QMessageBox& box) {
  // The title bar's font is the window manager's; a bold face of the
  // dialogs' own is about its size, and the room beside the text holds the
  // icon and the three buttons of the usual themes.
  constexpr int kTitleBarChrome = 130;
  QFont title_font = box.font();
  title_font.setBold(true);
  const int wanted = QFontMetrics(title_font).horizontalAdvance(box.windowTitle()) + kTitleBarChrome;
  auto* grid = qobject_cast<QGridLayout*>(box.layout());
  if (grid == nullptr) return;
  grid->addItem(new QSpacerItem(wanted, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                grid->columnCount());
}

void PrepareFileDialog(QFileDialog& dialog, const FileDialogSpec& setup, bool save, int filter_index,
                       const QString& folder) {
  dialog.setWindowTitle(Q(setup.title));
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  if (save) dialog.setOption(QFileDialog::DontConfirmOverwrite);
  // The labels carry their patterns already (as in text::kAllFilesFilter); the patterns
  // Qt reads stay out of sight.
  dialog.setOption(QFileDialog::HideNameFilterDetails);

  const QStringList filters = NameFiltersFor(setup.filter);
  dialog.setNameFilters(filters);
  dialog.selectNameFilter(filters.value(std::clamp<qsizetype>(filter_index, 1, filters.size()) - 1));

  if (!setup.file_name.empty()) {
    const QFileInfo proposed(Q(setup.file_name));
    dialog.setDirectory(proposed.absolutePath());
    dialog.selectFile(proposed.fileName());
  } else if (!folder.isEmpty()) {
    dialog.setDirectory(folder);
  }
}

}  // namespace vesk::gui
