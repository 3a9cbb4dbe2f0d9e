// A dialog provider that answers from a script and records what was asked,
// for driving the window in tests.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "gui/dialogs.h"

namespace vesk::gui::testing {

// Strict: a question, file or colour dialog for which no answer was
// scripted, and a scripted answer left unused, fail the running test when the
// provider goes (the unscripted dialog still says No or is cancelled).
class ScriptedDialogs final : public DialogProvider {
 public:
  ScriptedDialogs() = default;
  ~ScriptedDialogs() override;
  ScriptedDialogs(const ScriptedDialogs&) = delete;
  ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

  void Message(QWidget* parent, const std::string& text, const std::string& caption) override;
  bool Question(QWidget* parent, const std::string& text, const std::string& caption) override;
  // Answered as any question; its text is recorded in `careful` too.
  bool CarefulQuestion(QWidget* parent, const std::string& text, const std::string& caption) override;
  // Closes the question being asked (on_question is running): it is
  // answered No whatever the script says.
  void CloseQuestion() override;
  void Information(QWidget* parent, const std::string& text, const std::string& caption) override;
  std::optional<QColor> ChooseColour(QWidget* parent) override;
  std::optional<std::string> OpenFile(QWidget* parent, const FileDialogSpec& setup) override;
  std::optional<std::string> SaveFile(QWidget* parent, const FileDialogSpec& setup) override;
  void PresetFile(const std::string& path) override { presets.push_back(path); }

  // Answers, consumed in order (nullopt: the dialog is cancelled).
  std::deque<std::optional<std::string>> open_answers, save_answers;
  std::deque<bool> question_answers;
  std::deque<std::optional<QColor>> colour_answers;
  // Called with each question before it is answered.
  std::function<void(const std::string&)> on_question;

  std::vector<FileDialogSpec> open_specs, save_specs;
  std::vector<std::pair<std::string, std::string>> messages, questions, informations;  // text, caption
  std::vector<std::string> careful;  // the questions asked with No as their default
  // Questions closed while they were open, and whether the one being asked
  // now has been.
  int questions_closed = 0;
  bool question_closed = false;
  int colour_dialogs = 0;
  std::vector<std::string> presets;
  // Every dialog ran on the thread of the Qt event loop.
  bool all_on_gui_thread = true;

 private:
  void NoteThread();
  std::vector<std::string> unscripted_;  // the dialogs asked without an answer
  bool asking_ = false;
};

}  // namespace vesk::gui::testing
