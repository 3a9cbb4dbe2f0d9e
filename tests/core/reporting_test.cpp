#include "core/reporting.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/recording_reporter.h"

namespace vesk {
namespace {

using testing::RecordingReporter;

TEST(Progress, StartWithZeroOnlyResetsPending) {
  RecordingReporter r;
  r.ProgressStart(1000);
  r.ProgressStep(5, 5);
  ASSERT_EQ(r.ProgressPending(), 4);
  r.ProgressStart(0);
  EXPECT_EQ(r.ProgressPending(), -1);
  EXPECT_EQ(r.ProgressTotal(), 1000);
  EXPECT_EQ(r.ProgressQuantum(), 10);
  EXPECT_EQ(r.BarMax(), 1000);
  r.ProgressStart(-7);
  EXPECT_EQ(r.ProgressTotal(), 1000);
}

TEST(Progress, SmallTotalMovesWhenTwoUnitsAccumulated) {
  RecordingReporter r;
  r.ProgressStart(150);
  EXPECT_EQ(r.BarMax(), 150);
  EXPECT_EQ(r.ProgressQuantum(), 1);
  r.ProgressStep(1, 1);  // pending -1 -> 0: below the quantum
  EXPECT_TRUE(r.bar_positions.empty());
  r.ProgressStep(2, 1);  // pending 1: moves
  ASSERT_EQ(r.bar_positions.size(), 1u);
  EXPECT_EQ(r.bar_positions.back(), 2);
  EXPECT_EQ(r.ProgressPending(), -1);
}

TEST(Progress, TotalBelowHundredMovesOnEveryStep) {
  RecordingReporter r;
  r.ProgressStart(40);
  for (int i = 1; i <= 10; ++i) r.ProgressStep(i * 4, 4);
  EXPECT_EQ(r.bar_positions.size(), 10u);
}

TEST(Progress, PercentModeFromTwoToTheThirtyOneMinusOne) {
  RecordingReporter r;
  r.ProgressStart(2147483646);
  EXPECT_EQ(r.BarMax(), 2147483646);
  r.ProgressStart(2147483647);
  EXPECT_EQ(r.BarMax(), 100);
}

TEST(Progress, FourGibTotalShowsPercent) {
  RecordingReporter r;
  const int64_t total = int64_t{1} << 32;
  r.ProgressStart(total);
  EXPECT_EQ(r.BarMax(), 100);
  r.ProgressStep(int64_t{1} << 31, total / 100 + 1);
  ASSERT_FALSE(r.bar_positions.empty());
  EXPECT_EQ(r.bar_positions.back(), 50);
}

TEST(Progress, PercentRoundsTiesToEven) {
  EXPECT_EQ(Reporter::PercentOf(0, 500), 0);
  EXPECT_EQ(Reporter::PercentOf(5, 0), 0);
  EXPECT_EQ(Reporter::PercentOf(777, 777), 100);
  EXPECT_EQ(Reporter::PercentOf(5, 200), 2);   // 2.5 -> 2
  EXPECT_EQ(Reporter::PercentOf(7, 200), 4);   // 3.5 -> 4
  EXPECT_EQ(Reporter::PercentOf(3, 200), 2);   // 1.5 -> 2
  EXPECT_EQ(Reporter::PercentOf(1, 300), 0);   // 0.33 -> 0
}

TEST(Progress, BarMovesAboutAHundredTimesWhateverTheSize) {
  RecordingReporter r;
  const int64_t total = 1'000'003;
  r.ProgressStart(total);
  for (int64_t pos = 4; pos <= total; pos += 4) r.ProgressStep(pos, 4);
  EXPECT_GE(r.bar_positions.size(), 95u);
  EXPECT_LE(r.bar_positions.size(), 101u);
  r.ProgressComplete();
  EXPECT_EQ(r.bar_positions.back(), total);
}

TEST(Progress, BulkStepsMoveTheBarExactlyLikeSingleSteps) {
  for (int64_t total : {int64_t{7}, int64_t{150}, int64_t{4099}, int64_t{1} << 32}) {
    for (int64_t unit : {int64_t{1}, int64_t{4}, int64_t{65535}}) {
      RecordingReporter one, bulk;
      one.ProgressStart(total);
      bulk.ProgressStart(total);
      const int64_t units = std::min<int64_t>(total / unit, 300000);
      int64_t pos = 0;
      for (int64_t i = 0; i < units; ++i) one.ProgressStep(pos += unit, unit);
      // Bulk calls in uneven batches.
      int64_t done = 0, batch = 1;
      while (done < units) {
        int64_t n = std::min(batch, units - done);
        bulk.ProgressSteps((done + 1) * unit, unit, n);
        done += n;
        batch = batch * 3 + 1;
      }
      EXPECT_EQ(one.bar_positions, bulk.bar_positions) << total << " " << unit;
      EXPECT_EQ(one.ProgressPending(), bulk.ProgressPending());
    }
  }
}

TEST(RunResult, DamageWarnedDuringTheRunMarksItsCompletionAndAStartForgetsIt) {
  RecordingReporter r;
  r.BeginRun();
  EXPECT_EQ(r.Result().outcome, Outcome::kNone);
  r.WarnDamage("damaged size");
  EXPECT_EQ(r.messages, std::vector<std::string>{"damaged size"});
  r.Complete({"/out/a"});
  EXPECT_EQ(r.Result().outcome, Outcome::kDoneAfterDamage);
  EXPECT_EQ(r.Result().written, std::vector<std::string>{"/out/a"});

  r.BeginRun();
  EXPECT_EQ(r.Result().outcome, Outcome::kNone);
  EXPECT_TRUE(r.Result().written.empty());
  r.Complete({"/out/b"});
  EXPECT_EQ(r.Result().outcome, Outcome::kDone);
}

TEST(RunResult, ACompletedRunStaysCompletedWhateverEndsItLater) {
  RecordingReporter r;
  r.BeginRun();
  r.Complete({"/out/a"});
  r.EndRun(Outcome::kCancelled, "cancelled too late");
  EXPECT_EQ(r.Result().outcome, Outcome::kDone);
  EXPECT_TRUE(r.Result().reason.empty());

  // A cancel that the engine overtook with its last write is a completion.
  r.BeginRun();
  r.EndRun(Outcome::kCancelled, "cancelled");
  EXPECT_FALSE(r.Result().Completed());
  EXPECT_EQ(r.Result().reason, "cancelled");
  r.Complete({"/out/c"});
  EXPECT_EQ(r.Result().outcome, Outcome::kDone);
}

TEST(RunResult, AStopByFailureEndsTheRunAsFailedWithItsText) {
  RecordingReporter r;
  r.BeginRun();
  r.ReportStoppedByFailure("read error");
  EXPECT_EQ(r.Result().outcome, Outcome::kFailed);
  EXPECT_EQ(r.Result().reason, "read error");
  EXPECT_EQ(r.messages, std::vector<std::string>{"read error"});
}

TEST(StopAll, StopsTheRunAndWhatPollsAStopOfItsOwn) {
  RecordingReporter r;
  r.BeginRun();
  const StopToken stop = r.RunStopToken();
  r.StopAllAndYield();
  EXPECT_TRUE(stop.StopRequested());
  EXPECT_EQ(r.compression_stops, 1);
}

}  // namespace
}  // namespace vesk
