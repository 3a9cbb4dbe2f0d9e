#include "scripted_dialogs.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

namespace vesk::gui::testing {

ScriptedDialogs::~ScriptedDialogs() {
  for (const std::string& dialog : unscripted_) ADD_FAILURE() << "no answer was scripted for " << dialog;
  if (!question_answers.empty()) ADD_FAILURE() << question_answers.size() << " scripted question answers unused";
  if (!open_answers.empty()) ADD_FAILURE() << open_answers.size() << " scripted open-dialog answers unused";
  if (!save_answers.empty()) ADD_FAILURE() << save_answers.size() << " scripted save-dialog answers unused";
  if (!colour_answers.empty()) ADD_FAILURE() << colour_answers.size() << " scripted colour answers unused";
}

void ScriptedDialogs::NoteThread() {
  if (QThread::currentThread() != QCoreApplication::instance()->thread()) all_on_gui_thread = false;
}

void ScriptedDialogs::Message(QWidget*, const std::string& text, const std::string& caption) {
  NoteThread();
  messages.emplace_back(text, caption);
}

bool ScriptedDialogs::Question(QWidget*, const std::string& text, const std::string& caption) {
  NoteThread();
  questions.emplace_back(text, caption);
  asking_ = true;
  question_closed = false;
  if (on_question) on_question(text);
  asking_ = false;
  if (question_answers.empty()) {
    unscripted_.push_back("the question \"" + text + "\"");
    return false;
  }
  const bool answer = question_answers.front();
  question_answers.pop_front();
  return answer && !question_closed;
}

bool ScriptedDialogs::CarefulQuestion(QWidget* parent, const std::string& text, const std::string& caption) {
  careful.push_back(text);
  return Question(parent, text, caption);
}

void ScriptedDialogs::CloseQuestion() {
  NoteThread();
  if (!asking_ || question_closed) return;
  question_closed = true;
  ++questions_closed;
}

void ScriptedDialogs::Information(QWidget*, const std::string& text, const std::string& caption) {
  NoteThread();
  informations.emplace_back(text, caption);
}

std::optional<QColor> ScriptedDialogs::ChooseColour(QWidget*) {
  NoteThread();
  ++colour_dialogs;
  if (colour_answers.empty()) {
    unscripted_.push_back("a colour dialog");
    return std::nullopt;
  }
  auto answer = colour_answers.front();
  colour_answers.pop_front();
  return answer;
}

std::optional<std::string> ScriptedDialogs::OpenFile(QWidget*, const FileDialogSpec& setup) {
  NoteThread();
  open_specs.push_back(setup);
  if (open_answers.empty()) {
    unscripted_.push_back("an open dialog");
    return std::nullopt;
  }
  auto answer = open_answers.front();
  open_answers.pop_front();
  return answer;
}

std::optional<std::string> ScriptedDialogs::SaveFile(QWidget*, const FileDialogSpec& setup) {
  NoteThread();
  save_specs.push_back(setup);
  if (save_answers.empty()) {
    unscripted_.push_back("a save dialog");
    return std::nullopt;
  }
  auto answer = save_answers.front();
  save_answers.pop_front();
  return answer;
}

}  // namespace vesk::gui::testing
