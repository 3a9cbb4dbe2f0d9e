#include "app/window_logic.h"

#include <utility>

#include "app/file_run.h"
#include "app/texts.h"
#include "crypto/keyed/system_random.h"
#include "crypto/keyed/texts.h"
#include "platform/file_io.h"
#include "platform/gbk.h"
#include "platform/paths.h"
#include "selfextract/layout.h"

namespace vesk {
namespace {

using keyed::text::kDecryptCancelled;
using keyed::text::kEncryptCancelled;

constexpr Tr kSelfDecryptCancelled = text::kSelfDecryptCancelledText;

}  // namespace

WindowLogic::WindowLogic(WindowPort& port, UiThread& ui)
    : port_(port), ui_(ui), random_(std::make_unique<keyed::SystemRandom>()) {}

WindowLogic::~WindowLogic() = default;

void WindowLogic::ShowStatus(const std::string& text) {
  ShowHeldMessage();
  {
    std::lock_guard lock(mutex_);
    status_text_ = text;
  }
  port_.SetStatusText(BatchStatus(text));
}

bool WindowLogic::AskYesNo(const std::string& text, const std::string& caption) {
  ShowHeldMessage();
  return port_.Question(text, caption);
}

bool WindowLogic::AskAlgorithm(AlgorithmQuestion which, const std::string& text, const std::string& caption) {
  ShowHeldMessage();
  return port_.AlgorithmQuestion(which, text, caption);
}

ReplaceAnswer WindowLogic::AskReplace(const std::string& text, const std::string& caption) {
  ShowHeldMessage();
  // Among several files the answer for all of them is kept for the rest.
  const std::optional<bool> in_batch = AskReplaceInBatch(text, caption);
  const bool yes = in_batch ? *in_batch : port_.CarefulQuestion(text, caption);
  return yes ? ReplaceAnswer::kYes : ReplaceAnswer::kNo;
}

int WindowLogic::Tag(Control c) const {
  std::lock_guard lock(mutex_);
  auto it = tags_.find(c);
  return it == tags_.end() ? 0 : it->second;
}

void WindowLogic::SetControlTag(Control c, int tag) {
  {
    std::lock_guard lock(mutex_);
    tags_[c] = tag;
  }
  // The command is idle again: its run is over, and so is the question
  // whether to cancel it.
  if (tag == 0) CloseCancelQuestion(c);
}

void WindowLogic::OnRunEnded() { CloseCancelQuestion(std::nullopt); }

void WindowLogic::CloseCancelQuestion(std::optional<Control> busy) {
  {
    std::lock_guard lock(mutex_);
    if (!cancel_question_ || (busy && *busy != *cancel_question_)) return;
    cancel_question_.reset();
  }
  try {
    port_.CloseQuestion();
  } catch (...) {
    Beep();  // the window is closing: its questions are answered already
  }
}

bool WindowLogic::AskToCancel(Control busy, const std::string& text, const std::string& caption) {
  {
    // Taken together with the tag, so that a run ending from here on closes
    // the question.
    std::lock_guard lock(mutex_);
    if (tags_[busy] == 0) return false;
    cancel_question_ = busy;
  }
  const bool yes = port_.Question(text, caption);
  std::lock_guard lock(mutex_);
  const bool closed = cancel_question_ != busy;
  cancel_question_.reset();
  return yes && !closed && tags_[busy] != 0;
}

std::string WindowLogic::StatusText() const {
  std::lock_guard lock(mutex_);
  return status_text_;
}

std::string WindowLogic::HintText(Hint h) const {
  std::lock_guard lock(mutex_);
  return h == Hint::Output ? progress_hint_ : status_hint_;
}

void WindowLogic::SetHintText(Hint h, const std::string& text) {
  ShowHeldMessage();
  {
    std::lock_guard lock(mutex_);
    (h == Hint::Output ? progress_hint_ : status_hint_) = text;
  }
  port_.SetHint(h, text);
}

void WindowLogic::SetRatioIndex(int index) {
  if (index < 0 || index > 3) index = 2;
  ratio_index_ = index;
}

std::string WindowLogic::KeyBytes(Control box) const { return Utf8ToGbkStrict(port_.KeyText(box)).value_or(""); }

void WindowLogic::RefuseRun(const std::string& text) {
  EndRun(Outcome::kRefused, text);
  ReportMessage(text);
}

bool WindowLogic::RefuseUnusableKey(Control box) {
  if (Utf8ToGbkStrict(port_.KeyText(box))) return false;
  // Stored as anything else, such a key would be opened by other keys.
  RefuseRun(box == Control::EncryptionKey ? std::string(text::kEncryptionKeyNotGbk) + kEncryptCancelled
                                          : std::string(text::kDecryptionKeyNotGbk) + kDecryptCancelled);
  return true;
}

void WindowLogic::SetCommandState(Operation op, bool enabled) {
  // Among several files the command stays busy from the first to the last.
  if (enabled && InBatch()) return;
  try {
    ApplyCommandState(*this, op, enabled, OwnFileSize() >= selfextract::SelfDecryptMinimum(ImageSize()));
  } catch (...) {
    Beep();
  }
}

void WindowLogic::SetControlEnabled(Control c, bool enabled) {
  port_.SetEnabled(c, enabled);
  if (c != Control::ShredItem) return;
  // The shred item follows the command state like every command item; so do
  // the key-less items, except that a running one stays usable as its cancel.
  {
    std::lock_guard lock(mutex_);
    commands_idle_ = enabled;
  }
  for (Control item : {Control::KeylessEncryptItem, Control::KeylessDecryptItem}) {
    port_.SetEnabled(item, enabled || Tag(item) != 0);
  }
}

void WindowLogic::PreselectFromHint(FileDialogSpec& setup) const {
  if (const std::string hint = HintText(Hint::Source); !hint.empty() && FileExists(hint)) setup.file_name = hint;
}

// StopAll (closing, a new command) stops every run that polls a stop of its
// own: it cleans up without a failure report, as after the user's cancel.
void WindowLogic::StopCompression() {
  StopFileRun();
  StopSelfExtract();
}

void WindowLogic::ProcessPendingMessages() {
  if (ui_.IsUiThread()) ui_.ProcessPending();
  port_.ProcessPendingMessages();
}

bool WindowLogic::CancelCommand(Control busy) {
  // Among several files, the file at work stops cleanly and the files not
  // yet begun are skipped; the summary follows.
  if (InBatch()) {
    StopFileRun();
    return true;
  }
  // A run that ended while the question was open keeps its outcome.
  if (Tag(busy) == 0) return false;
  switch (busy) {
    case Control::EncryptButton:
    case Control::DecryptButton: {
      const bool encrypt = busy == Control::EncryptButton;
      EndRun(Outcome::kCancelled, encrypt ? kEncryptCancelled : kDecryptCancelled);
      StopFileRun();
      SetCommandState(encrypt ? Operation::Encrypt : Operation::Decrypt, true);
      ShowStatus(encrypt ? kEncryptCancelled : kDecryptCancelled);
      break;
    }
    case Control::SelfDecryptButton:
      // As the decrypt button's cancel: the stopped stage deletes what it
      // made (the temporary compressed copy too) and shows nothing.
      EndRun(Outcome::kCancelled, kSelfDecryptCancelled);
      StopSelfExtract();
      SetCommandState(Operation::SelfDecrypt, true);
      ShowStatus(kSelfDecryptCancelled);
      break;
    case Control::KeylessEncryptItem:
      EndRun(Outcome::kCancelled, kEncryptCancelled);
      StopFileRun();
      ResetKeylessEncryptItem();
      ShowStatus(kEncryptCancelled);
      break;
    case Control::KeylessDecryptItem:
      EndRun(Outcome::kCancelled, kDecryptCancelled);
      StopFileRun();
      ResetKeylessDecryptItem();
      ShowStatus(kDecryptCancelled);
      break;
    default:
      return false;
  }
  return true;
}

void WindowLogic::SettleEndedRun() {
  if (Result().outcome == Outcome::kNone) return;
  // The engines give their command back after their last message; the
  // window shows it idle already while that message is open.
  static constexpr std::pair<Control, Operation> kCommands[] = {
      {Control::EncryptButton, Operation::Encrypt},
      {Control::DecryptButton, Operation::Decrypt},
      {Control::CreateSelfDecryptingButton, Operation::CreateSelfDecrypting},
      {Control::SelfDecryptButton, Operation::SelfDecrypt},
      {Control::SeparateButton, Operation::Separate},
  };
  for (const auto& [control, op] : kCommands) {
    if (Tag(control) != 0) SetCommandState(op, true);
  }
  if (Tag(Control::KeylessEncryptItem) != 0) ResetKeylessEncryptItem();
  if (Tag(Control::KeylessDecryptItem) != 0) ResetKeylessDecryptItem();
}

void WindowLogic::ReportMessage(const std::string& text) {
  // Among several files a message waits for the summary at the end.
  if (NoteInBatch(text)) return ShowStatus(text);
  if (HoldMessage(text)) return;
  ShowMessageNow(text);
}

void WindowLogic::ShowMessageNow(const std::string& text) {
  try {
    SettleEndedRun();
    port_.MessageBox(text, kMessageCaption);
    ShowStatus(text);
  } catch (...) {
    Beep();
  }
}

}  // namespace vesk
