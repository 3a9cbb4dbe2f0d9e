#include "support/scripted_port.h"

#include <gtest/gtest.h>

namespace vesk::testing {

ScriptedPort::~ScriptedPort() {
  for (const std::string& dialog : unscripted_) ADD_FAILURE() << "no answer was scripted for " << dialog;
  if (!question_answers.empty()) ADD_FAILURE() << question_answers.size() << " scripted question answers unused";
  if (!open_answers.empty()) ADD_FAILURE() << open_answers.size() << " scripted open-dialog answers unused";
  if (!save_answers.empty()) ADD_FAILURE() << save_answers.size() << " scripted save-dialog answers unused";
}

void ScriptedPort::MessageBox(const std::string& text, const std::string&) {
  if (on_message) on_message(text);
  std::lock_guard lock(mutex_);
  messages.push_back(text);
}

bool ScriptedPort::Question(const std::string& text, const std::string& caption) {
  {
    std::lock_guard lock(question_mutex_);
    asking_ = true;
    closed_ = false;
  }
  if (on_question) on_question(text);
  bool closed = false;
  {
    std::lock_guard lock(question_mutex_);
    asking_ = false;
    closed = closed_;
  }
  std::lock_guard lock(mutex_);
  questions.push_back(text);
  question_captions.push_back(caption);
  if (question_answers.empty()) {
    unscripted_.push_back("the question \"" + text + "\"");
    return false;
  }
  bool a = question_answers.front();
  question_answers.pop_front();
  return a && !closed;
}

void ScriptedPort::CloseQuestion() {
  {
    std::lock_guard lock(question_mutex_);
    if (!asking_ || closed_) return;
    closed_ = true;
    ++questions_closed;
  }
  question_cv_.notify_all();
}

bool ScriptedPort::WaitQuestionClosed(std::chrono::milliseconds limit) {
  std::unique_lock lock(question_mutex_);
  return question_cv_.wait_for(lock, limit, [&] { return closed_; });
}

void ScriptedPort::SetStatusText(const std::string& text) {
  std::lock_guard lock(mutex_);
  statuses.push_back(text);
}

void ScriptedPort::SetBarRange(int64_t max) {
  std::lock_guard lock(mutex_);
  bar_ranges.push_back(max);
}

void ScriptedPort::SetBarPosition(int64_t position) {
  {
    std::lock_guard lock(mutex_);
    bar_positions.push_back(position);
  }
  if (on_bar_position) on_bar_position(position);
}

void ScriptedPort::SetEnabled(Control c, bool e) {
  std::lock_guard lock(mutex_);
  enabled[c] = e;
}

void ScriptedPort::SetCaption(Control c, const std::string& caption) {
  std::lock_guard lock(mutex_);
  captions[c].push_back(caption);
}

void ScriptedPort::SetHint(Hint h, const std::string& text) {
  std::lock_guard lock(mutex_);
  hints[h] = text;
}

std::string ScriptedPort::KeyText(Control box) {
  std::lock_guard lock(mutex_);
  return keys[box];
}

std::optional<std::string> ScriptedPort::OpenDialog(const FileDialogSpec& setup) {
  std::lock_guard lock(mutex_);
  open_specs.push_back(setup);
  if (open_answers.empty()) {
    unscripted_.push_back("an open dialog");
    return std::nullopt;
  }
  auto a = open_answers.front();
  open_answers.pop_front();
  return a;
}

std::optional<std::string> ScriptedPort::SaveDialog(const FileDialogSpec& setup) {
  std::lock_guard lock(mutex_);
  save_specs.push_back(setup);
  if (save_answers.empty()) {
    unscripted_.push_back("a save dialog");
    return std::nullopt;
  }
  auto a = save_answers.front();
  save_answers.pop_front();
  return a;
}

void ScriptedPort::Beep() {
  std::lock_guard lock(mutex_);
  ++beeps;
}

std::vector<std::string> ScriptedPort::OpenManyDialog(const FileDialogSpec& setup) {
  {
    std::lock_guard lock(mutex_);
    if (!open_many_answers.empty()) {
      open_specs.push_back(setup);
      auto a = open_many_answers.front();
      open_many_answers.pop_front();
      return a;
    }
  }
  return WindowPort::OpenManyDialog(setup);
}

std::optional<std::string> ScriptedPort::FolderDialog(const FileDialogSpec&) {
  std::lock_guard lock(mutex_);
  if (folder_answers.empty()) return std::nullopt;
  auto a = folder_answers.front();
  folder_answers.pop_front();
  return a;
}

WindowPort::ReplaceAnswer ScriptedPort::ReplaceQuestion(const std::string& text, const std::string&) {
  std::lock_guard lock(mutex_);
  replace_questions.push_back(text);
  if (replace_answers.empty()) return ReplaceAnswer::kNo;
  const ReplaceAnswer a = replace_answers.front();
  replace_answers.pop_front();
  return a;
}

bool ScriptedPort::UnpackQuestion(const std::string& text, const std::string&) {
  std::lock_guard lock(mutex_);
  unpack_questions.push_back(text);
  if (unpack_answers.empty()) return false;
  const bool a = unpack_answers.front();
  unpack_answers.pop_front();
  return a;
}

std::optional<std::string> ScriptedPort::NewFolderDialog(const FileDialogSpec& setup) {
  std::lock_guard lock(mutex_);
  new_folder_specs.push_back(setup);
  if (new_folder_answers.empty()) return std::nullopt;
  auto a = new_folder_answers.front();
  new_folder_answers.pop_front();
  return a;
}

}  // namespace vesk::testing
