#include "gui/dialogs.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

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

void PrepareFileDialog(QFileDialog& dialog, const FileDialogSpec& setup, bool save, int filter_index,
                       const QString& folder) {
  dialog.setWindowTitle(Q(setup.title));
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  if (save) dialog.setOption(QFileDialog::DontConfirmOverwrite);
  // The labels carry their patterns already ("全部文件(*.*)"); the patterns
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

void QtDialogProvider::Message(QWidget* parent, const std::string& text, const std::string& caption) {
  QMessageBox box(QMessageBox::NoIcon, Q(caption), Q(text), QMessageBox::Ok, parent);
  box.exec();
}

bool QtDialogProvider::Question(QWidget* parent, const std::string& text, const std::string& caption) {
  QMessageBox box(QMessageBox::Question, Q(caption), Q(text), QMessageBox::Yes | QMessageBox::No, parent);
  box.setDefaultButton(QMessageBox::Yes);
  return box.exec() == QMessageBox::Yes;
}

void QtDialogProvider::Information(QWidget* parent, const std::string& text, const std::string& caption) {
  QString shown = Q(text);
  shown.replace("\r\n", "\n");
  QMessageBox box(QMessageBox::Information, Q(caption), shown, QMessageBox::Ok, parent);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

std::optional<QColor> QtDialogProvider::ChooseColour(QWidget* parent) {
  QColorDialog dialog(colour_, parent);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QColor chosen = dialog.selectedColor();
  if (!chosen.isValid()) return std::nullopt;
  colour_ = chosen;
  return chosen;
}

std::optional<std::string> QtDialogProvider::OpenFile(QWidget* parent, const FileDialogSpec& setup) {
  return Run(parent, setup, false);
}

std::optional<std::string> QtDialogProvider::SaveFile(QWidget* parent, const FileDialogSpec& setup) {
  return Run(parent, setup, true);
}

void QtDialogProvider::PresetFile(const std::string& path) { folder_ = QFileInfo(Q(path)).absolutePath(); }

std::optional<std::string> QtDialogProvider::Run(QWidget* parent, const FileDialogSpec& setup, bool save) {
  QFileDialog dialog(parent);
  int& kept_index = save ? save_filter_index_ : open_filter_index_;
  if (setup.filter_index >= 1) kept_index = setup.filter_index;
  PrepareFileDialog(dialog, setup, save, kept_index, folder_);

  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return std::nullopt;
  kept_index = static_cast<int>(FilterIndexOf(dialog.nameFilters(), dialog.selectedNameFilter())) + 1;
  if (kept_index < 1) kept_index = 1;
  folder_ = QFileInfo(chosen.front()).absolutePath();
  return chosen.front().toStdString();
}

}  // namespace vesk::gui
