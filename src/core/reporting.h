// The reporting interface every long operation uses to talk to the user: a
// message box, a status line, yes/no questions, a 64-bit progress bar, the
// busy or idle state of its operation and the run flags the workers poll.
//
// The arithmetic (progress throttling, command-state rules) lives here once;
// a front end supplies only the widget hooks. Workers call the interface from
// their own thread, so a front end that owns real widgets marshals the hooks.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "core/run_result.h"
#include "core/staged_bar.h"

namespace vesk {

// The operations whose command the window shows as busy or idle. An engine
// names its own when it ends; the front end decides what that shows.
enum class Operation {
  Encrypt,
  Decrypt,
  MenuCommand,  // the popup-menu commands that share one busy state
  CreateSelfDecrypting,
  SelfDecrypt,
  Separate,
  Shred,
  KeylessEncrypt,
  KeylessDecrypt,
};

// The two questions that choose an older container algorithm: the old one,
// and then the older one.
enum class AlgorithmQuestion { kOld, kOlder };

// The two details an operation names beside the progress: the file it
// writes (the output) and the file it reads (the source).
enum class Hint { Output, Source };

// Run flags polled by the workers between units of work.
struct RunFlags {
  std::atomic<bool> KeepRunning{false};     // encrypting operations
  std::atomic<bool> KeepDecrypting{false};  // decrypting operations
  std::atomic<bool> KeepCreating{false};
  std::atomic<bool> KeepSeparating{false};
  std::atomic<bool> KeepShredding{false};
};

class Reporter {
 public:
  Reporter() = default;
  virtual ~Reporter() = default;
  Reporter(const Reporter&) = delete;
  Reporter& operator=(const Reporter&) = delete;

  // Modal box with OK; the text then becomes the status line. Blocks.
  virtual void ReportMessage(const std::string& text) = 0;
  // A failure that stopped the run; it ends the run as kFailed. A front end
  // whose user cancelled the run meanwhile may leave it unshown: the cancel
  // has said what happened.
  virtual void ReportStoppedByFailure(const std::string& text) {
    EndRun(Outcome::kFailed, text);
    ReportMessage(text);
  }
  // Sets status panel 1.
  virtual void ShowStatus(const std::string& text) = 0;
  // Modal Yes/No question; true for Yes. Blocks.
  virtual bool AskYesNo(const std::string& text, const std::string& caption) = 0;
  // The same for one of the algorithm questions, which a front end may answer
  // from a setting of its own instead of asking.
  virtual bool AskAlgorithm(AlgorithmQuestion /*which*/, const std::string& text, const std::string& caption) {
    return AskYesNo(text, caption);
  }

  void ProgressStart(int64_t total);
  // Common path: one 64-bit add and one compare; only a bar move is out of line.
  void ProgressStep(int64_t position, int64_t delta) {
    progress_pending_ += delta;
    if (progress_pending_ < progress_quantum_) return;
    MoveBar(position);
  }
  // The same bar moves as `count` calls ProgressStep(first_position + i * unit,
  // unit) for i = 0 .. count-1, without making each call (unit > 0).
  void ProgressSteps(int64_t first_position, int64_t unit, int64_t count);
  void ProgressComplete();

  // ---- One bar over a run of stages -----------------------------------------
  // A run that works in stages (decrypt then decompress, compress then
  // encrypt) shows them on one bar: from PlanStages on, the bar's range is
  // StagedBar::kRange, stage i fills a share in proportion to work[i], and
  // the progress each stage reports on its own range (ProgressStart and the
  // steps, SetBarRange and SetBarPosition) fills that share; the bar never
  // moves back. Stage 0 begins at once. BeginRun ends the plan.
  void PlanStages(const std::vector<int64_t>& work);
  // Stage `index` of the plan begins; nothing without a plan.
  void BeginStage(std::size_t index);
  bool Staged() const;
  std::size_t StageCount() const;
  // The stage that runs now (0 without a plan).
  std::size_t CurrentStage() const;
  // The work the whole bar stands for: the planned work of every stage, or
  // the total of a run of one stage.
  int64_t BarWork() const;

  // Shows the command of `op` busy (enabled false) or every command idle
  // again (enabled true). A failure there only beeps.
  virtual void SetCommandState(Operation op, bool enabled) = 0;
  // Gives a command's item back after a run: through `reset` when the caller
  // supplied one, else as SetCommandState(op, true); a failure there only
  // beeps.
  void RestoreItem(const std::function<void()>& reset, Operation op);

  // ---- The typed result of the current run ---------------------------------
  // Forgets the previous run's result; every command start calls it.
  void BeginRun();
  // A warning that the source is damaged, shown as a message; the run may
  // still complete, and then ends as kDoneAfterDamage.
  void WarnDamage(const std::string& text);
  // The source is known to be damaged (warned about before the run began).
  void NoteDamage();
  // The run completed and wrote `written`.
  void Complete(std::vector<std::string> written);
  // The run ended otherwise (refused, cancelled or failed) for `reason`. A
  // completed run stays completed: a cancel that comes after the last write
  // does not undo it.
  void EndRun(Outcome outcome, const std::string& reason);
  RunResult Result() const;
  bool DamageWarned() const;

  // True when the file does not exist or was deleted.
  virtual bool DeleteIfExists(const std::string& path);

  // Clears every run flag and stops the compression component.
  void StopAll();
  // StopAll, then one round of pending window messages, then a pause (20 ms
  // unless set otherwise) that lets a stopped operation reach its next check.
  void StopAllAndYield();
  // A front end in which nothing else can be running needs no pause.
  void SetYieldPause(std::chrono::milliseconds pause) { yield_pause_ = pause; }

  RunFlags& Flags() { return flags_; }

  // Signals a failure that is swallowed (the system beep).
  virtual void Beep() {}

  // Length of the running program's own file (0 when unknown) and of its
  // program image; the self-decrypt commands need a payload after the image.
  int64_t OwnFileSize() const { return own_file_size_; }
  void SetOwnFileSize(int64_t size) { own_file_size_ = size; }
  int64_t ImageSize() const { return image_size_; }
  void SetImageSize(int64_t size) { image_size_ = size; }

  int64_t ProgressTotal() const { return progress_total_; }
  void SetProgressTotal(int64_t total) { progress_total_ = total; }
  int64_t ProgressQuantum() const { return progress_quantum_; }
  int64_t ProgressPending() const { return progress_pending_; }
  int64_t BarMax() const { return bar_max_; }

  // Percentage of `position` in `total`, rounded to nearest with ties to even;
  // 0 when either is 0, exactly 100 when they are equal.
  static int64_t PercentOf(int64_t position, int64_t total);
  // Maximum of the bar for a total: 100 (percent mode) from 2147483647 on.
  static int64_t BarMaxFor(int64_t total) { return total >= 2147483647 ? 100 : total; }
  // The bar position for `position` under the current bar maximum and total.
  int64_t BarPositionFor(int64_t position) const {
    return bar_max_ == 100 ? PercentOf(position, progress_total_) : position;
  }

  // Sets the bar range directly (the compression events drive the bar
  // without the throttling of ProgressStep).
  void SetBarRange(int64_t max);
  void SetBarPosition(int64_t position) { ShowBar(position); }

 protected:
  // Widget hooks of a front end.
  virtual void OnBarRange(int64_t max) = 0;  // minimum is always 0
  virtual void OnBarPosition(int64_t position) = 0;
  // Stops and waits for a running compression; nothing by default.
  virtual void StopCompression() {}
  // Runs the window's pending messages once; nothing by default.
  virtual void ProcessPendingMessages() {}
  // The run has ended (Complete, or EndRun with a new outcome); nothing by
  // default.
  virtual void OnRunEnded() {}

 private:
  void MoveBar(int64_t position);
  // Shows a position of the current stage's own range.
  void ShowBar(int64_t position);

  RunFlags flags_;
  // The stages of the current run. The hooks are called outside the lock: a
  // front end may hand them to another thread and wait.
  mutable std::mutex bar_mutex_;
  StagedBar stages_;
  mutable std::mutex result_mutex_;
  RunResult result_;
  bool damage_warned_ = false;
  int64_t progress_total_ = 0;
  int64_t progress_quantum_ = 0;
  int64_t progress_pending_ = -1;
  int64_t bar_max_ = 100;
  int64_t own_file_size_ = 0;
  int64_t image_size_ = 584192;
  std::chrono::milliseconds yield_pause_{20};
};

}  // namespace vesk
