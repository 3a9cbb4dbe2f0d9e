#include "core/progress.h"

#include <cmath>
#include <optional>

namespace vesk {

void Progress::ProgressStart(int64_t total) {
  if (total > 0) {
    progress_total_ = total;
    SetBarRange(BarMaxFor(total));
    progress_quantum_ = total / 100;
  }
  progress_pending_ = -1;
}

int64_t Progress::PercentOf(int64_t position, int64_t total) {
  if (position == 0 || total == 0) return 0;
  if (position == total) return 100;
  // nearbyint rounds to nearest with ties to even in the default mode.
  return static_cast<int64_t>(std::nearbyint(static_cast<double>(position) / (static_cast<double>(total) / 100.0)));
}

void Progress::MoveBar(int64_t position) {
  ShowBar(BarPositionFor(position));
  progress_pending_ = -1;
}

void Progress::SetBarRange(int64_t max) {
  bar_max_ = max;
  {
    std::lock_guard lock(bar_mutex_);
    if (stages_.Active()) return stages_.SetStageRange(max);
  }
  OnBarRange(max);
}

void Progress::ShowBar(int64_t position) {
  std::optional<int64_t> shown = position;
  {
    std::lock_guard lock(bar_mutex_);
    if (stages_.Active()) shown = stages_.Move(position);
  }
  if (shown) OnBarPosition(*shown);
}

void Progress::PlanStages(const std::vector<int64_t>& work) {
  {
    std::lock_guard lock(bar_mutex_);
    stages_.Plan(work);
    if (!stages_.Active()) return;
  }
  OnBarRange(StagedBar::kRange);
  OnBarPosition(0);
}

void Progress::BeginStage(std::size_t index) {
  std::optional<int64_t> shown;
  {
    std::lock_guard lock(bar_mutex_);
    shown = stages_.Begin(index);
  }
  if (shown) OnBarPosition(*shown);
}

bool Progress::Staged() const {
  std::lock_guard lock(bar_mutex_);
  return stages_.Active();
}

std::size_t Progress::StageCount() const {
  std::lock_guard lock(bar_mutex_);
  return stages_.Stages();
}

int64_t Progress::BarWork() const {
  std::lock_guard lock(bar_mutex_);
  return stages_.Active() ? stages_.Work() : progress_total_;
}

std::size_t Progress::CurrentStage() const {
  std::lock_guard lock(bar_mutex_);
  return stages_.Stage();
}

void Progress::ProgressSteps(int64_t first_position, int64_t unit, int64_t count) {
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

void Progress::ProgressComplete() { ShowBar(bar_max_); }

void Progress::ResetStages() {
  std::lock_guard lock(bar_mutex_);
  stages_.Reset();
}

}  // namespace vesk
