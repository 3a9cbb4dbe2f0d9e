// One bar over the stages of a run: the arithmetic, and the reporter's
// progress calls going through it.
#include "core/staged_bar.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/recording_reporter.h"

namespace vesk {
namespace {

using testing::RecordingReporter;

bool NeverBack(const std::vector<int64_t>& positions) {
  return std::is_sorted(positions.begin(), positions.end());
}

TEST(StagedBar, EachStageFillsItsShareOfTheWork) {
  StagedBar bar;
  bar.Plan({100, 300, 600});
  ASSERT_EQ(bar.Stages(), 3u);
  EXPECT_EQ(bar.StageStart(0), 0);
  EXPECT_EQ(bar.StageStart(1), 1000);
  EXPECT_EQ(bar.StageStart(2), 4000);
  EXPECT_EQ(bar.StageStart(3), 10000);

  // Stage 0 on a range of its own: half of it is half of its tenth.
  bar.SetStageRange(50);
  EXPECT_EQ(bar.Move(25), 500);
  EXPECT_EQ(bar.Move(50), 1000);
  // Stage 1 starts where stage 0 ends, whatever its range.
  EXPECT_EQ(bar.Begin(1), std::nullopt);  // already there
  bar.SetStageRange(1 << 20);
  EXPECT_EQ(bar.Move(1 << 19), 2500);
  // Stage 2 begun before stage 1 reported its end: the bar goes to its start.
  EXPECT_EQ(bar.Begin(2), 4000);
  bar.SetStageRange(100);  // percent
  EXPECT_EQ(bar.Move(100), 10000);
  EXPECT_EQ(bar.Shown(), 10000);
}

TEST(StagedBar, TheBarNeverMovesBack) {
  StagedBar bar;
  bar.Plan({1, 1});
  bar.SetStageRange(10);
  EXPECT_EQ(bar.Move(8), 4000);
  EXPECT_EQ(bar.Move(3), std::nullopt);   // a stage counting again from 0
  EXPECT_EQ(bar.Move(-5), std::nullopt);  // below its range
  EXPECT_EQ(bar.Move(20), 5000);          // above it: the stage is complete
  EXPECT_EQ(bar.Begin(0), std::nullopt);  // an earlier stage again
  bar.SetStageRange(10);
  EXPECT_EQ(bar.Move(9), std::nullopt);
  EXPECT_EQ(bar.Shown(), 5000);
}

TEST(StagedBar, AStageWithoutItsRangeHoldsTheBar) {
  StagedBar bar;
  bar.Plan({10, 10});
  EXPECT_EQ(bar.Move(5), std::nullopt);
  bar.SetStageRange(0);
  EXPECT_EQ(bar.Move(5), std::nullopt);
  EXPECT_EQ(bar.Shown(), 0);
}

TEST(StagedBar, StagesWithoutWorkShareTheBarEqually) {
  StagedBar bar;
  bar.Plan({0, -4, 0, 0});
  EXPECT_EQ(bar.StageStart(1), 2500);
  EXPECT_EQ(bar.StageStart(2), 5000);
  EXPECT_EQ(bar.StageStart(3), 7500);
  // A stage of no work amid others gets no share at all.
  bar.Plan({5, 0, 5});
  EXPECT_EQ(bar.StageStart(1), 5000);
  EXPECT_EQ(bar.StageStart(2), 5000);
  // An index past the last stage is the last stage.
  EXPECT_EQ(bar.Begin(7), 5000);
  EXPECT_EQ(bar.Stage(), 2u);
}

TEST(StagedBar, FourGibStagesKeepTheirShares) {
  StagedBar bar;
  const int64_t four_gib = int64_t{1} << 32;
  bar.Plan({four_gib, four_gib, four_gib});
  EXPECT_EQ(bar.StageStart(1), 3333);
  EXPECT_EQ(bar.StageStart(2), 6666);
  bar.SetStageRange(four_gib);
  EXPECT_EQ(bar.Move(four_gib - 1), 3332);
  EXPECT_EQ(bar.Move(four_gib), 3333);
}

TEST(StagedBar, WithoutAPlanNothingIsMapped) {
  StagedBar bar;
  EXPECT_FALSE(bar.Active());
  bar.SetStageRange(10);
  EXPECT_EQ(bar.Move(5), std::nullopt);
  EXPECT_EQ(bar.Begin(1), std::nullopt);
  bar.Plan({});
  EXPECT_FALSE(bar.Active());
}

// ---- Through the reporter ------------------------------------------------------

TEST(StagedProgress, TwoEnginesFillOneBarWithoutGoingBack) {
  RecordingReporter r;
  r.BeginRun();
  r.PlanStages({1000, 1000});
  EXPECT_EQ(r.bar_ranges, std::vector<int64_t>{10000});
  // The first stage counts 1000 bytes by ProgressStart and steps.
  r.ProgressStart(1000);
  for (int64_t done = 100; done <= 1000; done += 100) r.ProgressStep(done, 100);
  r.ProgressComplete();
  EXPECT_EQ(r.bar_positions.back(), 5000);
  // The second counts its own 400 bytes from 0 again.
  r.BeginStage(1);
  r.ProgressStart(400);
  r.ProgressStep(200, 200);
  EXPECT_EQ(r.bar_positions.back(), 7500);
  r.ProgressComplete();
  EXPECT_EQ(r.bar_positions.back(), 10000);

  EXPECT_EQ(r.bar_ranges, std::vector<int64_t>{10000});  // the engines' ranges stay inside
  EXPECT_TRUE(NeverBack(r.bar_positions));
  EXPECT_EQ(r.bar_positions.front(), 0);
  // A throughput shown beside the bar counts the bytes of every stage.
  EXPECT_EQ(r.BarWork(), 2000);
}

TEST(StagedProgress, DirectBarCallsAndPercentModeMapToo) {
  RecordingReporter r;
  r.PlanStages({1, 1, 2});
  // A stage driven by SetBarRange and SetBarPosition, as the compression
  // events drive the bar, on a percent range for a 4 GiB total.
  r.SetProgressTotal(int64_t{1} << 32);
  r.SetBarRange(Reporter::BarMaxFor(int64_t{1} << 32));
  r.SetBarPosition(r.BarPositionFor(int64_t{1} << 31));
  EXPECT_EQ(r.bar_positions.back(), 1250);
  r.BeginStage(2);
  EXPECT_EQ(r.bar_positions.back(), 5000);
  r.SetBarRange(8);
  r.SetBarPosition(4);
  EXPECT_EQ(r.bar_positions.back(), 7500);
  EXPECT_TRUE(NeverBack(r.bar_positions));
}

TEST(StagedProgress, TheNextRunHasOneStageAgain) {
  RecordingReporter r;
  r.PlanStages({1, 1});
  r.SetBarRange(10);
  r.SetBarPosition(10);
  ASSERT_TRUE(r.Staged());
  r.BeginRun();
  EXPECT_FALSE(r.Staged());
  r.bar_ranges.clear();
  r.bar_positions.clear();
  r.ProgressStart(150);
  r.ProgressStep(2, 2);
  EXPECT_EQ(r.BarWork(), 150);
  EXPECT_EQ(r.bar_ranges, std::vector<int64_t>{150});
  EXPECT_EQ(r.bar_positions, std::vector<int64_t>{2});
}

}  // namespace
}  // namespace vesk
