#include "core/staged_bar.h"

#include <algorithm>

namespace vesk {

void StagedBar::Plan(const std::vector<int64_t>& work) {
  Reset();
  if (work.empty()) return;
  // In long double, kRange times the work of several 4 GiB stages cannot
  // overflow.
  long double total = 0;
  for (int64_t w : work) total += static_cast<long double>(std::max<int64_t>(w, 0));
  for (int64_t w : work) work_ += std::max<int64_t>(w, 0);
  bounds_.reserve(work.size() + 1);
  bounds_.push_back(0);
  long double before = 0;
  for (std::size_t i = 0; i < work.size(); ++i) {
    before += total > 0 ? static_cast<long double>(std::max<int64_t>(work[i], 0)) : 1.0L;
    const long double whole = total > 0 ? total : static_cast<long double>(work.size());
    bounds_.push_back(i + 1 == work.size() ? kRange
                                           : static_cast<int64_t>(before * static_cast<long double>(kRange) / whole));
  }
}

void StagedBar::Reset() {
  bounds_.clear();
  stage_ = 0;
  stage_range_ = 0;
  shown_ = 0;
  work_ = 0;
}

int64_t StagedBar::StageStart(std::size_t index) const {
  if (bounds_.empty()) return 0;
  return bounds_[std::min(index, bounds_.size() - 1)];
}

std::optional<int64_t> StagedBar::Begin(std::size_t index) {
  if (!Active()) return std::nullopt;
  stage_ = std::min(index, Stages() - 1);
  stage_range_ = 0;
  return Show(bounds_[stage_]);
}

void StagedBar::SetStageRange(int64_t range) { stage_range_ = range; }

std::optional<int64_t> StagedBar::Move(int64_t position) {
  if (!Active() || stage_range_ <= 0) return std::nullopt;
  const int64_t from = bounds_[stage_], to = bounds_[stage_ + 1];
  const int64_t clamped = std::clamp<int64_t>(position, 0, stage_range_);
  const auto share = static_cast<long double>(to - from) * static_cast<long double>(clamped) /
                     static_cast<long double>(stage_range_);
  return Show(from + static_cast<int64_t>(share));
}

std::optional<int64_t> StagedBar::Show(int64_t position) {
  if (position <= shown_) return std::nullopt;
  shown_ = position;
  return position;
}

}  // namespace vesk
