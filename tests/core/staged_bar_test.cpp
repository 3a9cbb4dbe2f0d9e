// One bar over the stages of a run: the arithmetic, and the reporter's
// progress calls going through it.
#include "core/staged_bar.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/recording_reporter.h"

namespace vesk {
namespace {

using testing::RecordingReporter;

TEST(StagedBar, EachStageFillsItsShareAndTheBarNeverMovesBack) {
  StagedBar bar;
  bar.Plan({100, 300, 600});
  EXPECT_EQ(bar.StageStart(1), 1000);
  EXPECT_EQ(bar.StageStart(2), 4000);
  EXPECT_EQ(bar.StageStart(3), 10000);

  EXPECT_EQ(bar.Move(5), std::nullopt);  // no range yet: the bar holds
  bar.SetStageRange(50);
  EXPECT_EQ(bar.Move(25), 500);
  EXPECT_EQ(bar.Move(10), std::nullopt);  // back: not shown
  EXPECT_EQ(bar.Move(80), 1000);          // beyond the range: the stage is full
  // Stage 1 counts from 0 on its own range and starts where stage 0 ends.
  EXPECT_EQ(bar.Begin(1), std::nullopt);
  bar.SetStageRange(1 << 20);
  EXPECT_EQ(bar.Move(1 << 19), 2500);
  // Stage 2 begun before stage 1 reported its end: the bar goes to its start.
  EXPECT_EQ(bar.Begin(2), 4000);
  bar.SetStageRange(100);
  EXPECT_EQ(bar.Move(100), 10000);
  EXPECT_EQ(bar.Begin(0), std::nullopt);  // an earlier stage again shows nothing
}

TEST(StagedBar, SharesForStagesWithoutWorkAndForLargeOnes) {
  StagedBar bar;
  bar.Plan({0, -4, 0, 0});  // none has work: equal shares
  EXPECT_EQ(bar.StageStart(1), 2500);
  EXPECT_EQ(bar.StageStart(3), 7500);
  bar.Plan({5, 0, 5});  // a stage of no work amid others: no share
  EXPECT_EQ(bar.StageStart(2), 5000);
  EXPECT_EQ(bar.Begin(7), 5000);  // past the last stage: the last
  EXPECT_EQ(bar.Stage(), 2u);
  const int64_t four_gib = int64_t{1} << 32;
  bar.Plan({four_gib, four_gib, four_gib});
  EXPECT_EQ(bar.StageStart(1), 3333);
  bar.SetStageRange(four_gib);
  EXPECT_EQ(bar.Move(four_gib - 1), 3332);
  EXPECT_EQ(bar.Work(), 3 * four_gib);
}

TEST(StagedProgress, TwoEnginesFillOneBarAndTheNextRunHasOneStageAgain) {
  RecordingReporter r;
  r.BeginRun();
  r.PlanStages({1000, 1000});
  // The first stage counts its 1000 bytes with ProgressStart and steps.
  r.ProgressStart(1000);
  for (int64_t done = 100; done <= 1000; done += 100) r.ProgressStep(done, 100);
  EXPECT_EQ(r.bar_positions.back(), 5000);
  // The second, driven as the compression events drive the bar, on a
  // percent range for a 4 GiB total.
  r.BeginStage(1);
  r.SetProgressTotal(int64_t{1} << 32);
  r.SetBarRange(Reporter::BarMaxFor(int64_t{1} << 32));
  r.SetBarPosition(r.BarPositionFor(int64_t{1} << 31));
  EXPECT_EQ(r.bar_positions.back(), 7500);
  r.ProgressComplete();
  EXPECT_EQ(r.bar_positions.back(), 10000);
  EXPECT_EQ(r.bar_ranges, std::vector<int64_t>{10000});  // the stages' ranges stay inside
  EXPECT_EQ(r.bar_positions.front(), 0);
  EXPECT_TRUE(std::is_sorted(r.bar_positions.begin(), r.bar_positions.end()));
  EXPECT_EQ(r.BarWork(), 2000);  // what a throughput beside the bar counts

  r.BeginRun();
  r.bar_ranges.clear();
  r.bar_positions.clear();
  r.ProgressStart(150);
  r.ProgressStep(2, 2);
  EXPECT_EQ(r.bar_ranges, std::vector<int64_t>{150});
  EXPECT_EQ(r.bar_positions, std::vector<int64_t>{2});
  EXPECT_EQ(r.BarWork(), 150);
}

}  // namespace
}  // namespace vesk
