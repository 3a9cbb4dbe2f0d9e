#include "gui/qt_dialog_provider.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>

namespace vesk::gui {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

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

std::vector<std::string> QtDialogProvider::OpenFiles(QWidget* parent, const FileDialogSpec& setup) {
  QFileDialog dialog(parent);
  if (setup.filter_index >= 1) open_filter_index_ = setup.filter_index;
  PrepareFileDialog(dialog, setup, false, open_filter_index_, folder_);
  dialog.setFileMode(QFileDialog::ExistingFiles);
  if (dialog.exec() != QDialog::Accepted) return {};
  std::vector<std::string> chosen;
  for (const QString& file : dialog.selectedFiles()) chosen.push_back(file.toStdString());
  if (chosen.empty()) return {};
  open_filter_index_ = std::max(1, static_cast<int>(FilterIndexOf(dialog.nameFilters(), dialog.selectedNameFilter())) + 1);
  folder_ = QFileInfo(Q(chosen.front())).absolutePath();
  return chosen;
}

WindowPort::ReplaceAnswer QtDialogProvider::ReplaceQuestion(QWidget* parent, const std::string& text,
                                                            const std::string& caption) {
  QMessageBox box(QMessageBox::Question, Q(caption), Q(text), QMessageBox::Yes | QMessageBox::No, parent);
  QPushButton* all_yes = box.addButton(QStringLiteral("全部是"), QMessageBox::YesRole);
  QPushButton* all_no = box.addButton(QStringLiteral("全部否"), QMessageBox::NoRole);
  box.setDefaultButton(QMessageBox::Yes);
  const int answer = box.exec();
  if (box.clickedButton() == all_yes) return WindowPort::ReplaceAnswer::kYesToAll;
  if (box.clickedButton() == all_no) return WindowPort::ReplaceAnswer::kNoToAll;
  return answer == QMessageBox::Yes ? WindowPort::ReplaceAnswer::kYes : WindowPort::ReplaceAnswer::kNo;
}

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
