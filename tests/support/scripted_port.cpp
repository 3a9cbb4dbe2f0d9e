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
  std::lock_guard lock(mutex_);
  messages.push_back(text);
}

bool ScriptedPort::Question(const std::string& text, const std::string& caption) {
  if (on_question) on_question(text);
  std::lock_guard lock(mutex_);
  questions.push_back(text);
  question_captions.push_back(caption);
  if (question_answers.empty()) {
    unscripted_.push_back("the question \"" + text + "\"");
    return false;
  }
  bool a = question_answers.front();
  question_answers.pop_front();
  return a;
}

void ScriptedPort::SetStatusText(const std::string& text) {
  std::lock_guard lock(mutex_);
  statuses.push_back(text);
}

void ScriptedPort::SetBarRange(int64_t) {}

void ScriptedPort::SetBarPosition(int64_t position) {
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

}  // namespace vesk::testing
