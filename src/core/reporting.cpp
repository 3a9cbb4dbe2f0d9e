#include "core/reporting.h"

#include <cmath>
#include <thread>

#include "platform/file_io.h"

namespace vesk {

void Reporter::ProgressStart(int64_t total) {
  if (total > 0) {
    progress_total_ = total;
    SetBarRange(BarMaxFor(total));
    progress_quantum_ = total / 100;
  }
  progress_pending_ = -1;
}

int64_t Reporter::PercentOf(int64_t position, int64_t total) {
  if (position == 0 || total == 0) return 0;
  if (position == total) return 100;
  // nearbyint rounds to nearest with ties to even in the default mode.
  return static_cast<int64_t>(std::nearbyint(static_cast<double>(position) / (static_cast<double>(total) / 100.0)));
}

void Reporter::MoveBar(int64_t position) {
  ShowBar(BarPositionFor(position));
  progress_pending_ = -1;
}

void Reporter::SetBarRange(int64_t max) {
  bar_max_ = max;
  {
    std::lock_guard lock(bar_mutex_);
    if (stages_.Active()) return stages_.SetStageRange(max);
  }
  OnBarRange(max);
}

void Reporter::ShowBar(int64_t position) {
  std::optional<int64_t> shown = position;
  {
    std::lock_guard lock(bar_mutex_);
    if (stages_.Active()) shown = stages_.Move(position);
  }
  if (shown) OnBarPosition(*shown);
}

void Reporter::PlanStages(const std::vector<int64_t>& work) {
  {
    std::lock_guard lock(bar_mutex_);
    stages_.Plan(work);
    if (!stages_.Active()) return;
  }
  OnBarRange(StagedBar::kRange);
  OnBarPosition(0);
}

void Reporter::BeginStage(std::size_t index) {
  std::optional<int64_t> shown;
  {
    std::lock_guard lock(bar_mutex_);
    shown = stages_.Begin(index);
  }
  if (shown) OnBarPosition(*shown);
}

bool Reporter::Staged() const {
  std::lock_guard lock(bar_mutex_);
  return stages_.Active();
}

std::size_t Reporter::StageCount() const {
  std::lock_guard lock(bar_mutex_);
  return stages_.Stages();
}

int64_t Reporter::BarWork() const {
  std::lock_guard lock(bar_mutex_);
  return stages_.Active() ? stages_.Work() : progress_total_;
}

std::size_t Reporter::CurrentStage() const {
  std::lock_guard lock(bar_mutex_);
  return stages_.Stage();
}

void Reporter::ProgressSteps(int64_t first_position, int64_t unit, int64_t count) {
  int64_t done = 0;  // calls accounted for
  while (done < count) {
    // Calls still needed before the pending count reaches the quantum.
    int64_t gap = progress_quantum_ - progress_pending_;
    int64_t needed = gap <= 0 ? 1 : (gap + unit - 1) / unit;
    if (needed > count - done) {
      progress_pending_ += unit * (count - done);
      return;
    }
    done += needed;
    progress_pending_ += unit * needed;
    MoveBar(first_position + (done - 1) * unit);
  }
}

void Reporter::ProgressComplete() { ShowBar(bar_max_); }

void Reporter::RestoreItem(const std::function<void()>& reset, Operation op) {
  try {
    if (reset) {
      reset();
    } else {
      SetCommandState(op, true);
    }
  } catch (...) {
    Beep();
  }
}

void Reporter::BeginRun() {
  {
    std::lock_guard lock(bar_mutex_);
    stages_.Reset();
  }
  std::lock_guard lock(result_mutex_);
  result_ = RunResult{};
  damage_warned_ = false;
}

void Reporter::WarnDamage(const std::string& text) {
  {
    std::lock_guard lock(result_mutex_);
    damage_warned_ = true;
  }
  ReportMessage(text);
}

void Reporter::NoteDamage() {
  std::lock_guard lock(result_mutex_);
  damage_warned_ = true;
}

void Reporter::Complete(std::vector<std::string> written) {
  {
    std::lock_guard lock(result_mutex_);
    result_.outcome = damage_warned_ ? Outcome::kDoneAfterDamage : Outcome::kDone;
    result_.written = std::move(written);
    result_.reason.clear();
  }
  OnRunEnded();
}

void Reporter::EndRun(Outcome outcome, const std::string& reason) {
  {
    std::lock_guard lock(result_mutex_);
    if (result_.Completed()) return;
    result_.outcome = outcome;
    result_.reason = reason;
  }
  OnRunEnded();
}

RunResult Reporter::Result() const {
  std::lock_guard lock(result_mutex_);
  return result_;
}

bool Reporter::DamageWarned() const {
  std::lock_guard lock(result_mutex_);
  return damage_warned_;
}

bool Reporter::DeleteIfExists(const std::string& path) {
  if (!PathExists(path)) return true;
  return DeleteFile(path);
}

void Reporter::StopAll() {
  try {
    flags_.KeepDecrypting = false;
    flags_.KeepRunning = false;
    flags_.KeepCreating = false;
    flags_.KeepSeparating = false;
    StopCompression();
    flags_.KeepShredding = false;
  } catch (...) {
    Beep();
  }
}

void Reporter::StopAllAndYield() {
  StopAll();
  ProcessPendingMessages();
  if (yield_pause_.count() > 0) std::this_thread::sleep_for(yield_pause_);
}

}  // namespace vesk
