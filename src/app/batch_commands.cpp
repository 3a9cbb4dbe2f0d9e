// Several files (or folders) in one command: each is worked on as if it had
// been chosen alone, with its output beside it under the name the save
// dialog would propose; the key is the one in the key box for all of them.
// One bar runs over the bytes of all of them, the status line names the
// file at work, messages wait for the summary at the end, the replace
// question takes an answer for the rest (yes or no to all), and a cancel
// stops the file at work cleanly and skips the rest, the outputs completed
// before it staying.
#include <algorithm>
#include <atomic>
#include <mutex>
#include <utility>

#include "app/batch_state.h"
#include "app/texts.h"
#include "app/window_logic.h"
#include "archive/tree_walk.h"
#include "platform/file_io.h"
#include "platform/paths.h"

namespace vesk {

namespace {

const char* const kReplaceCaption = text::kReplaceCaptionText;

}  // namespace

std::string WindowLogic::SourceLine(const std::vector<std::string>& paths) {
  if (paths.size() == 1) return paths.front();
  return text::FilesCount(paths.size());
}

std::vector<std::string> WindowLogic::PickSources(FileDialogSpec open) {
  if (!ChosenPaths.empty()) return std::exchange(ChosenPaths, {});
  return port_.OpenManyDialog(open);
}

bool WindowLogic::InBatch() const { return batch_ != nullptr; }

void WindowLogic::MarkBatchCancelled() {
  std::lock_guard lock(batch_->mutex);
  batch_->cancelled = true;
}

void WindowLogic::StartBatch(BatchCommand command, std::vector<std::string> paths) {
  auto batch = std::make_unique<Batch>();
  batch->command = command;
  batch->paths = std::move(paths);
  batch->items.resize(batch->paths.size());
  std::atomic<bool> keep{true};
  int64_t total = 0;
  for (const std::string& path : batch->paths) {
    int64_t weight = 0;
    if (DirectoryExists(path)) {
      try {
        weight = archive::SurveyTree(path, "", keep).Weight();
      } catch (const std::exception&) {
        weight = 0;  // the packing itself will say why
      }
    } else {
      weight = std::max<int64_t>(FileSizeOf(path), 0);
    }
    batch->weights.push_back(weight);
    total += weight;
  }
  batch->total = std::max<int64_t>(total, 1);
  batch->bar_max = BarMaxFor(batch->total);
  batch_ = std::move(batch);
  SetHintText(Hint::Source, SourceLine(batch_->paths));
  port_.SetBarRange(batch_->bar_max);
  port_.SetBarPosition(0);
  NextBatchItem();
}

void WindowLogic::NextBatchItem() {
  Batch& b = *batch_;
  if (b.begun) {
    b.items[b.current].result = Result();
    b.items[b.current].last_status = StatusText();
    b.done += b.weights[b.current];
    port_.SetBarPosition(b.bar_max == 100 ? PercentOf(b.done, b.total) : b.done);
  }
  {
    std::lock_guard lock(b.mutex);
    if (b.cancelled || b.next == b.paths.size()) {
      b.begun = false;
    } else {
      b.current = b.next++;
      b.begun = true;
      b.part = -1;
      b.shown = 0;
      b.parts = b.command == BatchCommand::kEncrypt && !age_keys_ && RatioIndex() != 0 &&
                        !KeyBytes(Control::EncryptionKey).empty() && !DirectoryExists(b.paths[b.current])
                    ? 2
                    : 1;
    }
  }
  if (!b.begun) return EndBatch();
  ResetRunFlags();
  const std::string path = b.paths[b.current];
  switch (b.command) {
    case BatchCommand::kEncrypt:
      after_run_ = [this] { NextBatchItem(); };
      EncryptOne(path, false);
      break;
    case BatchCommand::kKeylessEncrypt:
      after_run_ = [this] { NextBatchItem(); };
      KeylessEncryptOne(path, false);
      break;
    case BatchCommand::kDecrypt:
      after_run_ = [this] { OfferUnpack([this] { NextBatchItem(); }); };
      DecryptOne(path, false);
      break;
    case BatchCommand::kKeylessDecrypt:
      after_run_ = [this] { NextBatchItem(); };  // the command offers the unpacking itself
      KeylessDecryptOne(path, false);
      break;
  }
  PostRunCheck();
}

void WindowLogic::EndBatch() {
  const std::unique_ptr<Batch> b = std::move(batch_);  // from here on the command may go idle
  after_run_ = nullptr;
  age_keys_.reset();
  std::vector<std::string> written;
  std::string done_lines, failed_lines, skipped_lines;
  int done = 0, failed = 0, skipped = 0;
  bool damaged = false;
  for (std::size_t i = 0; i < b->paths.size(); ++i) {
    const Batch::Item& item = b->items[i];
    const RunResult& r = item.result;
    // Why a file did not come through: the run's reason, else its last message.
    std::string why = r.reason.empty() && !item.notes.empty() ? item.notes.back() : r.reason;
    if (r.Completed()) {
      ++done;
      damaged = damaged || r.outcome == Outcome::kDoneAfterDamage;
      written.insert(written.end(), r.written.begin(), r.written.end());
      done_lines += "\n  " + b->paths[i] + " → " + (r.written.empty() ? std::string() : r.written.back());
      for (const std::string& note : item.notes) done_lines += "\n    " + note;
    } else if (r.outcome == Outcome::kRefused || r.outcome == Outcome::kFailed ||
               (r.outcome == Outcome::kNone && !item.notes.empty())) {
      // Refused or failed, or stopped with a message of why.
      ++failed;
      failed_lines += "\n  " + b->paths[i] + "：" + why;
    } else {
      // Cancelled, not replaced, or never begun.
      ++skipped;
      if (why.empty()) why = item.last_status;
      if (i >= b->next || why.empty()) why = text::kNotBegun;
      skipped_lines += "\n  " + b->paths[i] + "：" + why;
    }
  }
  std::string summary = text::BatchHeadline(SourceLine(b->paths), done, failed, skipped);
  const std::string headline = summary;
  if (done > 0) summary += text::kBatchDone + done_lines;
  if (failed > 0) summary += text::kBatchNotDone + failed_lines;
  if (skipped > 0) summary += text::kBatchSkipped + skipped_lines;

  BeginRun();
  if (damaged) NoteDamage();
  if (failed == 0 && skipped == 0) {
    Complete(written);
  } else {
    EndRun(b->cancelled ? Outcome::kCancelled : Outcome::kFailed, summary);
  }
  OutputPath = written.empty() ? std::string() : written.back();
  switch (b->command) {
    case BatchCommand::kEncrypt: SetCommandState(Operation::Encrypt, true); break;
    case BatchCommand::kDecrypt: SetCommandState(Operation::Decrypt, true); break;
    case BatchCommand::kKeylessEncrypt: ResetKeylessEncryptItem(); break;
    case BatchCommand::kKeylessDecrypt: ResetKeylessDecryptItem(); break;
  }
  if (failed == 0 && skipped == 0) port_.SetBarPosition(b->bar_max);
  try {
    port_.MessageBox(summary, kMessageCaption);
  } catch (...) {
    Beep();
  }
  ShowStatus(headline);
}

bool WindowLogic::AskReplaceInBatch(const std::string& text, const std::string& caption) {
  {
    std::lock_guard lock(batch_->mutex);
    if (batch_->replace_all) return *batch_->replace_all;
  }
  const WindowPort::ReplaceAnswer answer = port_.ReplaceQuestion(text, caption);
  std::lock_guard lock(batch_->mutex);
  switch (answer) {
    case WindowPort::ReplaceAnswer::kYesToAll: batch_->replace_all = true; return true;
    case WindowPort::ReplaceAnswer::kNoToAll: batch_->replace_all = false; return false;
    case WindowPort::ReplaceAnswer::kYes: return true;
    case WindowPort::ReplaceAnswer::kNo: break;
  }
  return false;
}

std::string WindowLogic::BatchStatus(const std::string& text) const {
  const Batch& b = *batch_;
  if (!b.begun) return text;
  return "(" + std::to_string(b.current + 1) + "/" + std::to_string(b.paths.size()) + ") " +
         ExtractFileName(b.paths[b.current]) + "：" + text;
}

void WindowLogic::NoteInBatch(const std::string& text) {
  std::lock_guard lock(batch_->mutex);
  if (batch_->begun) batch_->items[batch_->current].notes.push_back(text);
}

// The bar among several files: each file moves it across its share of the
// total, its parts (a compression before the cipher) one after the other,
// and never backwards.
void WindowLogic::OnBarRange(int64_t max) {
  if (!InBatch()) return port_.SetBarRange(max);
  std::lock_guard lock(batch_->mutex);
  ++batch_->part;
  batch_->part_max = std::max<int64_t>(max, 1);
}

void WindowLogic::OnBarPosition(int64_t position) {
  if (!InBatch()) return port_.SetBarPosition(position);
  int64_t at = 0;
  int64_t bar_max = 0, total = 0;
  {
    Batch& b = *batch_;
    std::lock_guard lock(b.mutex);
    if (!b.begun) return;
    const double fraction = std::clamp(static_cast<double>(position) / static_cast<double>(b.part_max), 0.0, 1.0);
    const double file = std::min(1.0, (std::max(b.part, 0) + fraction) / b.parts);
    b.shown = std::max(b.shown, file);
    at = b.done + static_cast<int64_t>(b.shown * static_cast<double>(b.weights[b.current]));
    bar_max = b.bar_max;
    total = b.total;
  }
  port_.SetBarPosition(bar_max == 100 ? PercentOf(at, total) : at);
}

}  // namespace vesk
