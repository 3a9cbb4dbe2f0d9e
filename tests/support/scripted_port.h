// A WindowPort driven by a script: dialog answers and question answers are
// queued in advance, and everything the window shows is recorded.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/port.h"

namespace vesk::testing {

// Strict: a question or file dialog for which no answer was scripted, and a
// scripted answer left unused, fail the running test when the port goes
// (the unscripted dialog is still answered No or cancelled, so the run goes
// on). A test that expects a No scripts it.
class ScriptedPort : public WindowPort {
 public:
  ScriptedPort() = default;
  ~ScriptedPort() override;
  ScriptedPort(const ScriptedPort&) = delete;
  ScriptedPort& operator=(const ScriptedPort&) = delete;

  void MessageBox(const std::string& text, const std::string& caption) override;
  bool Question(const std::string& text, const std::string& caption) override;
  // Closes the question being asked (on_question is running, from any
  // thread): it is answered No whatever the script says.
  void CloseQuestion() override;
  // For on_question: waits until the question being asked is closed; false
  // when `limit` passed first.
  bool WaitQuestionClosed(std::chrono::milliseconds limit);
  void SetStatusText(const std::string& text) override;
  void SetBarRange(int64_t max) override;
  void SetBarPosition(int64_t position) override;
  void SetEnabled(Control c, bool enabled) override;
  void SetCaption(Control c, const std::string& caption) override;
  void SetHint(Hint h, const std::string& text) override;
  std::string KeyText(Control box) override;
  std::optional<std::string> OpenDialog(const FileDialogSpec& setup) override;
  std::optional<std::string> SaveDialog(const FileDialogSpec& setup) override;
  void Beep() override;
  std::vector<std::string> OpenManyDialog(const FileDialogSpec& setup) override;
  ReplaceAnswer ReplaceQuestion(const std::string& text, const std::string& caption) override;
  bool UnpackQuestion(const std::string& text, const std::string& caption) override;
  std::optional<std::string> NewFolderDialog(const FileDialogSpec& setup) override;
  std::optional<std::string> FolderDialog(const FileDialogSpec& setup) override;

  // Script.
  std::deque<std::optional<std::string>> open_answers, save_answers;  // nullopt = cancel
  std::deque<bool> question_answers;
  std::map<Control, std::string> keys;
  std::function<void(int64_t)> on_bar_position;  // any thread
  std::function<void(const std::string&)> on_question;
  std::function<void(const std::string&)> on_message;  // before the box is recorded
  // Several files and folders: the open dialog's choices (else one from
  // open_answers), the replace question's answers (default No), the unpack
  // question's (default No) and other folder names (default none).
  std::deque<std::vector<std::string>> open_many_answers;
  std::deque<ReplaceAnswer> replace_answers;
  std::deque<bool> unpack_answers;
  std::deque<std::optional<std::string>> new_folder_answers;
  std::deque<std::optional<std::string>> folder_answers;  // the folder chooser's (default cancel)

  // Record (read after the run has ended).
  std::vector<std::string> messages, statuses, questions;
  std::vector<std::string> question_captions;  // in step with `questions`
  std::vector<std::string> replace_questions, unpack_questions;
  std::vector<FileDialogSpec> new_folder_specs;
  std::vector<FileDialogSpec> open_specs, save_specs;
  std::map<Control, std::vector<std::string>> captions;
  std::map<Control, bool> enabled;
  std::map<Hint, std::string> hints;
  std::vector<int64_t> bar_ranges, bar_positions;  // in the order set
  int beeps = 0;
  int questions_closed = 0;

 private:
  std::recursive_mutex mutex_;
  std::vector<std::string> unscripted_;  // the dialogs asked without an answer
  std::mutex question_mutex_;
  std::condition_variable question_cv_;
  bool asking_ = false, closed_ = false;
};

}  // namespace vesk::testing
