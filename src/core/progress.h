// Where a run shows how far it is: a status line, two hints (the file it
// writes and the file it reads) and a 64-bit progress bar. The arithmetic
// (throttling the bar to one move per percent, one bar over the stages of a
// run) lives here once; a front end supplies only the hooks. Workers call it
// from their own thread, so a front end that owns real widgets marshals the
// hooks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "core/staged_bar.h"

namespace vesk {

// The two details a run names beside the progress: the file it writes (the
// output) and the file it reads (the source).
enum class Hint { Output, Source };

class Progress {
 public:
  Progress() = default;
  virtual ~Progress() = default;
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // The status line.
  virtual void ShowStatus(const std::string& text) = 0;
  // One of the two hints; nothing by default.
  virtual void ShowHint(Hint /*which*/, const std::string& /*text*/) {}

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
  // moves back. Stage 0 begins at once. ResetStages ends the plan.
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
  void ResetStages();

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

 private:
  void MoveBar(int64_t position);
  // Shows a position of the current stage's own range.
  void ShowBar(int64_t position);

  // The stages of the current run. The hooks are called outside the lock: a
  // front end may hand them to another thread and wait.
  mutable std::mutex bar_mutex_;
  StagedBar stages_;
  int64_t progress_total_ = 0;
  int64_t progress_quantum_ = 0;
  int64_t progress_pending_ = -1;
  int64_t bar_max_ = 100;
};

}  // namespace vesk
