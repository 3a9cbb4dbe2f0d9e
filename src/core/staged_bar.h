// One progress bar over a run made of stages that follow each other
// (decrypt, then check the compressed copy, then write it out; compress,
// then encrypt). Each stage reports its progress on a range of its own, as
// a run of one stage does; the bar shows the whole run on a fixed range, each
// stage filling its share, and never moves back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace vesk {

class StagedBar {
 public:
  // The range of the bar over the whole run.
  static constexpr int64_t kRange = 10000;

  // Plans a run: stage i gets a share of the bar in proportion to work[i]
  // (bytes it reads, say). Work below 0 counts as 0; when every stage has
  // none, the stages share the bar equally. Stage 0 begins, the bar at 0.
  void Plan(const std::vector<int64_t>& work);
  // Back to no plan.
  void Reset();
  bool Active() const { return !bounds_.empty(); }
  std::size_t Stages() const { return bounds_.empty() ? 0 : bounds_.size() - 1; }
  std::size_t Stage() const { return stage_; }

  // Stage `index` begins (an index past the last stage counts as the last):
  // every stage before it is complete. Its own range is unknown until
  // SetStageRange. The bar position to show, when it moved.
  std::optional<int64_t> Begin(std::size_t index);
  // The current stage's own range (its bar maximum); 0 or less shows the
  // stage as not yet begun.
  void SetStageRange(int64_t range);
  // The bar position for `position` on the current stage's own range, when
  // it is ahead of what the bar shows; nullopt when the bar would not move
  // forward.
  std::optional<int64_t> Move(int64_t position);
  // What the bar shows.
  int64_t Shown() const { return shown_; }
  // Where stage `index` starts on the bar (Stages() gives kRange).
  int64_t StageStart(std::size_t index) const;
  // The work of the whole run, as planned.
  int64_t Work() const { return work_; }

 private:
  std::optional<int64_t> Show(int64_t position);

  std::vector<int64_t> bounds_;  // stage i spans bounds_[i] .. bounds_[i + 1]
  std::size_t stage_ = 0;
  int64_t stage_range_ = 0;
  int64_t shown_ = 0;
  int64_t work_ = 0;
};

}  // namespace vesk
