// The real dialogs behind the window port: Qt's message boxes, colour dialog
// and file dialogs.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <QColor>
#include <QMessageBox>
#include <QPointer>
#include <QString>

#include "gui/dialogs.h"

namespace vesk::gui {

// Qt's message boxes and file dialogs. The save dialog never asks before
// replacing a file: the commands ask their own replace question.
class QtDialogProvider final : public DialogProvider {
 public:
  void Message(QWidget* parent, const std::string& text, const std::string& caption) override;
  bool Question(QWidget* parent, const std::string& text, const std::string& caption) override;
  bool CarefulQuestion(QWidget* parent, const std::string& text, const std::string& caption) override;
  void CloseQuestion() override;
  void Information(QWidget* parent, const std::string& text, const std::string& caption) override;
  // Starts with the colour last chosen (black at first).
  std::optional<QColor> ChooseColour(QWidget* parent) override;
  std::optional<std::string> OpenFile(QWidget* parent, const FileDialogSpec& setup) override;
  std::optional<std::string> SaveFile(QWidget* parent, const FileDialogSpec& setup) override;
  void PresetFile(const std::string& path) override;
  // The open dialog with several files chosen at once; empty when cancelled.
  std::vector<std::string> OpenFiles(QWidget* parent, const FileDialogSpec& setup) override;
  std::optional<std::string> OpenFolder(QWidget* parent, const FileDialogSpec& setup) override;
  WindowPort::ReplaceAnswer ReplaceQuestion(QWidget* parent, const std::string& text,
                                            const std::string& caption) override;
  // A box for the keys and a button that loads a recipients file into it
  // (age_dialogs.cpp).
  std::optional<std::string> Recipients(QWidget* parent, const std::string& proposed) override;
  bool CautiousQuestion(QWidget* parent, const std::string& text, const std::string& caption) override;
  // Post-quantum (the default) or classic, and an optional passphrase typed twice.
  std::optional<WindowPort::IdentityOptions> IdentityOptions(QWidget* parent) override;
  // The phrase in a read-only line, selected, with a button that copies it.
  void ShowPassphrase(QWidget* parent, const std::string& text) override;
  std::optional<std::string> AskText(QWidget* parent, const std::string& text, bool secret) override;
  // The file dialogs open at the size they were last left at, kept in
  // `values`.
  void UseSettingsStore(settings::ValueStore& values) override { values_ = &values; }

 private:
  // One file dialog to its end: the chosen paths (one unless kOpenMany),
  // empty when cancelled.
  enum class Mode { kOpen, kOpenMany, kFolder, kSave };
  std::vector<std::string> Run(QWidget* parent, const FileDialogSpec& setup, Mode mode);
  // The Yes/No box with `default_button` as the one Enter presses.
  bool AskYesNo(QWidget* parent, const std::string& text, const std::string& caption,
                QMessageBox::StandardButton default_button);

  // What each dialog keeps between uses: its filter index (a setup of -1
  // keeps it) and the folder it was last in.
  settings::ValueStore* values_ = nullptr;
  int open_filter_index_ = 1;
  int save_filter_index_ = 1;
  QString folder_;
  QColor colour_ = Qt::black;
  // The Yes/No box while it is open.
  QPointer<QMessageBox> question_;
};

}  // namespace vesk::gui
