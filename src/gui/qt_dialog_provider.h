// The real dialogs behind the window port: Qt's message boxes, colour dialog
// and file dialogs.
#pragma once

#include <optional>
#include <string>

#include <QColor>
#include <QString>

#include "gui/dialogs.h"

namespace vesk::gui {

// Qt's message boxes and file dialogs. The save dialog never asks before
// replacing a file: the commands ask their own replace question.
class QtDialogProvider final : public DialogProvider {
 public:
  void Message(QWidget* parent, const std::string& text, const std::string& caption) override;
  bool Question(QWidget* parent, const std::string& text, const std::string& caption) override;
  void Information(QWidget* parent, const std::string& text, const std::string& caption) override;
  // Starts with the colour last chosen (black at first).
  std::optional<QColor> ChooseColour(QWidget* parent) override;
  std::optional<std::string> OpenFile(QWidget* parent, const FileDialogSpec& setup) override;
  std::optional<std::string> SaveFile(QWidget* parent, const FileDialogSpec& setup) override;
  void PresetFile(const std::string& path) override;
  std::vector<std::string> OpenFiles(QWidget* parent, const FileDialogSpec& setup) override;
  WindowPort::ReplaceAnswer ReplaceQuestion(QWidget* parent, const std::string& text,
                                            const std::string& caption) override;

 private:
  std::optional<std::string> Run(QWidget* parent, const FileDialogSpec& setup, bool save);
  std::vector<std::string> RunMany(QWidget* parent, const FileDialogSpec& setup);

  // What each dialog keeps between uses: its filter index (a setup of -1
  // keeps it) and the folder it was last in.
  int open_filter_index_ = 1;
  int save_filter_index_ = 1;
  QString folder_;
  QColor colour_ = Qt::black;
};

}  // namespace vesk::gui
