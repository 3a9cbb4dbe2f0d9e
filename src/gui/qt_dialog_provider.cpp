#include "gui/qt_dialog_provider.h"
#include "gui/texts.h"

#include <QApplication>
#include <QColorDialog>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>

#include "gui/file_dialog_view.h"
#include "settings/file_dialog_size.h"

namespace vesk::gui {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

void QtDialogProvider::Message(QWidget* parent, const std::string& text, const std::string& caption) {
  QMessageBox box(QMessageBox::NoIcon, Q(caption), Q(text), QMessageBox::Ok, parent);
  FitTitle(box);
  box.exec();
}

bool QtDialogProvider::Question(QWidget* parent, const std::string& text, const std::string& caption) {
  return AskYesNo(parent, text, caption, QMessageBox::Yes);
}

bool QtDialogProvider::CarefulQuestion(QWidget* parent, const std::string& text, const std::string& caption) {
  return AskYesNo(parent, text, caption, QMessageBox::No);
}

bool QtDialogProvider::AskYesNo(QWidget* parent, const std::string& text, const std::string& caption,
                                QMessageBox::StandardButton default_button) {
  QMessageBox box(QMessageBox::Question, Q(caption), Q(text), QMessageBox::Yes | QMessageBox::No, parent);
  box.setDefaultButton(default_button);
  FitTitle(box);
  const QPointer<QMessageBox> outer = question_;  // a question asked while another one is open
  question_ = &box;
  const int answer = box.exec();
  question_ = outer;
  return answer == QMessageBox::Yes;
}

void QtDialogProvider::CloseQuestion() {
  if (question_ == nullptr) return;
  // Queued to the box: it closes as soon as its loop runs, and a box that is
  // gone by then drops the call.
  QMetaObject::invokeMethod(
      question_.data(), [box = question_.data()] { box->done(QMessageBox::No); }, Qt::QueuedConnection);
}

void QtDialogProvider::Information(QWidget* parent, const std::string& text, const std::string& caption) {
  QString shown = Q(text);
  shown.replace("\r\n", "\n");
  QMessageBox box(QMessageBox::Information, Q(caption), shown, QMessageBox::Ok, parent);
  box.setTextFormat(Qt::PlainText);
  FitTitle(box);
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
  auto chosen = Run(parent, setup, Mode::kOpen);
  if (chosen.empty()) return std::nullopt;
  return std::move(chosen.front());
}

std::optional<std::string> QtDialogProvider::SaveFile(QWidget* parent, const FileDialogSpec& setup) {
  auto chosen = Run(parent, setup, Mode::kSave);
  if (chosen.empty()) return std::nullopt;
  return std::move(chosen.front());
}

void QtDialogProvider::PresetFile(const std::string& path) { folder_ = QFileInfo(Q(path)).absolutePath(); }

std::vector<std::string> QtDialogProvider::OpenFiles(QWidget* parent, const FileDialogSpec& setup) {
  return Run(parent, setup, Mode::kOpenMany);
}

std::optional<std::string> QtDialogProvider::OpenFolder(QWidget* parent, const FileDialogSpec& setup) {
  auto chosen = Run(parent, setup, Mode::kFolder);
  if (chosen.empty()) return std::nullopt;
  return std::move(chosen.front());
}

WindowPort::ReplaceAnswer QtDialogProvider::ReplaceQuestion(QWidget* parent, const std::string& text,
                                                            const std::string& caption) {
  QMessageBox box(QMessageBox::Question, Q(caption), Q(text), QMessageBox::Yes | QMessageBox::No, parent);
  QPushButton* all_yes = box.addButton(QString::fromUtf8(text::kYesToAll.c_str()), QMessageBox::YesRole);
  QPushButton* all_no = box.addButton(QString::fromUtf8(text::kNoToAll.c_str()), QMessageBox::NoRole);
  // Enter keeps the file.
  box.setDefaultButton(QMessageBox::No);
  const int answer = box.exec();
  if (box.clickedButton() == all_yes) return WindowPort::ReplaceAnswer::kYesToAll;
  if (box.clickedButton() == all_no) return WindowPort::ReplaceAnswer::kNoToAll;
  return answer == QMessageBox::Yes ? WindowPort::ReplaceAnswer::kYes : WindowPort::ReplaceAnswer::kNo;
}

std::vector<std::string> QtDialogProvider::Run(QWidget* parent, const FileDialogSpec& setup, Mode mode) {
  const bool save = mode == Mode::kSave;
  QFileDialog dialog(parent);
  int& kept_index = save ? save_filter_index_ : open_filter_index_;
  if (setup.filter_index >= 1) kept_index = setup.filter_index;
  PrepareFileDialog(dialog, setup, save, kept_index, folder_);
  if (mode == Mode::kOpenMany) dialog.setFileMode(QFileDialog::ExistingFiles);
  if (mode == Mode::kFolder) {
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
  }

  std::optional<QSize> remembered;
  if (values_ != nullptr) {
    if (const auto stored = settings::StoredFileDialogSize(*values_)) remembered = QSize(stored->width, stored->height);
  }
  FileDialogShaper shaper(dialog, remembered);
  const int result = dialog.exec();
  // Kept once the user has changed it: a dialog never resized stores nothing.
  if (shaper.Shaped() && values_ != nullptr && dialog.size() != shaper.ShapedSize()) {
    try {
      settings::StoreFileDialogSize(*values_, {dialog.width(), dialog.height()});
    } catch (...) {
      QApplication::beep();  // the size is only not kept
    }
  }
  if (result != QDialog::Accepted) return {};
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return {};
  kept_index = static_cast<int>(FilterIndexOf(dialog.nameFilters(), dialog.selectedNameFilter())) + 1;
  if (kept_index < 1) kept_index = 1;
  folder_ = QFileInfo(chosen.front()).absolutePath();
  // File names are bytes: a name that is not UTF-8 goes back as it is on disk.
  std::vector<std::string> paths;
  for (const QString& path : chosen) paths.push_back(QFile::encodeName(path).toStdString());
  return paths;
}

}  // namespace vesk::gui
