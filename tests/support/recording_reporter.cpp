#include "support/recording_reporter.h"

#include "selfextract/layout.h"

namespace vesk::testing {

RecordingReporter::RecordingReporter() {
  for (Control c : {Control::EncryptButton, Control::DecryptButton, Control::SoftKeyboardButton, Control::CreateSelfDecryptingButton, Control::SelfDecryptButton,
                    Control::SeparateButton, Control::ShredItem, Control::EncryptionKey, Control::DecryptionKey}) {
    controls[c].caption = IdleCaption(c);
  }
}

void RecordingReporter::ReportMessage(const std::string& text) {
  std::lock_guard lock(mutex_);
  messages.push_back(text);
  statuses.push_back(text);
}

void RecordingReporter::ShowStatus(const std::string& text) {
  std::lock_guard lock(mutex_);
  statuses.push_back(text);
}

void RecordingReporter::ShowHint(Hint which, const std::string& text) {
  std::lock_guard lock(mutex_);
  hints[which] = text;
}

bool RecordingReporter::AskYesNo(const std::string& text, const std::string& caption) {
  if (on_question) on_question(text);
  std::lock_guard lock(mutex_);
  questions.emplace_back(text, caption);
  if (answers_.empty()) return default_answer;
  bool a = answers_.front();
  answers_.pop_front();
  return a;
}

void RecordingReporter::QueueAnswers(std::initializer_list<bool> answers) {
  std::lock_guard lock(mutex_);
  answers_.insert(answers_.end(), answers.begin(), answers.end());
}

void RecordingReporter::OnBarRange(int64_t max) { bar_ranges.push_back(max); }

void RecordingReporter::OnBarPosition(int64_t position) {
  bar_positions.push_back(position);
  if (on_bar_position) on_bar_position(position);
}

void RecordingReporter::SetCommandState(Operation op, bool enabled) {
  try {
    ApplyCommandState(*this, op, enabled, OwnFileSize() >= selfextract::SelfDecryptMinimum(ImageSize()));
  } catch (...) {
    Beep();
  }
}

void RecordingReporter::SetControlEnabled(Control c, bool enabled) { controls[c].enabled = enabled; }
void RecordingReporter::SetControlTag(Control c, int tag) { controls[c].tag = tag; }
void RecordingReporter::SetControlCaption(Control c, const std::string& caption) { controls[c].caption = caption; }
void RecordingReporter::StopCompression() { ++compression_stops; }
void RecordingReporter::Beep() { ++beeps; }

}  // namespace vesk::testing
