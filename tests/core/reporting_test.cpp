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

TEST(CommandState, BusyDecryptLocksEverythingButItselfAndTheEncryptKey) {
  RecordingReporter r;
  r.SetOwnFileSize(SelfDecryptMinimumFor(r.ImageSize()));
  r.SetCommandState(Control::DecryptButton, false);
  for (Control c : {Control::EncryptButton, Control::CreateSelfDecryptingButton, Control::SelfDecryptButton, Control::SeparateButton, Control::ShredItem,
                    Control::DecryptionKey}) {
    EXPECT_FALSE(r.controls[c].enabled);
  }
  EXPECT_TRUE(r.controls[Control::EncryptionKey].enabled);
  EXPECT_TRUE(r.controls[Control::DecryptButton].enabled);
  EXPECT_EQ(r.controls[Control::DecryptButton].caption, "取消解密");
  EXPECT_EQ(r.controls[Control::DecryptButton].tag, 1);
}

TEST(CommandState, BusyEncryptLocksItsKeyBox) {
  RecordingReporter r;
  r.SetCommandState(Control::EncryptButton, false);
  EXPECT_FALSE(r.controls[Control::EncryptionKey].enabled);
  EXPECT_EQ(r.controls[Control::EncryptButton].caption, "取消加密");
  r.SetCommandState(Control::EncryptButton, true);
  EXPECT_TRUE(r.controls[Control::EncryptionKey].enabled);
  EXPECT_EQ(r.controls[Control::EncryptButton].caption, "加密文件");
  EXPECT_EQ(r.controls[Control::EncryptButton].tag, 0);
}

TEST(CommandState, SelfDecryptButtonsNeedAPayloadAfterTheImage) {
  RecordingReporter r;
  EXPECT_EQ(SelfDecryptMinimumFor(584192), 584501);
  r.SetImageSize(584192);
  r.SetOwnFileSize(584500);
  r.SetCommandState(Control::EncryptButton, true);
  EXPECT_FALSE(r.controls[Control::SelfDecryptButton].enabled);
  EXPECT_FALSE(r.controls[Control::SeparateButton].enabled);
  r.SetOwnFileSize(584501);
  r.SetCommandState(Control::EncryptButton, true);
  EXPECT_TRUE(r.controls[Control::SelfDecryptButton].enabled);
  EXPECT_TRUE(r.controls[Control::SeparateButton].enabled);
}

TEST(CommandState, OtherControlsKeepTheirCaptionButServeAsCancel) {
  RecordingReporter r;
  r.controls[Control::SoftKeyboardButton].caption = "软键盘";
  r.SetCommandState(Control::SoftKeyboardButton, false);
  EXPECT_EQ(r.controls[Control::SoftKeyboardButton].caption, "软键盘");
  EXPECT_TRUE(r.controls[Control::SoftKeyboardButton].enabled);
  EXPECT_EQ(r.controls[Control::SoftKeyboardButton].tag, 1);
  EXPECT_FALSE(r.controls[Control::EncryptButton].enabled);
  EXPECT_TRUE(r.controls[Control::EncryptionKey].enabled);  // only EncryptButton touches EncryptionKey
}

TEST(StopAll, ClearsEveryFlagAndStopsCompression) {
  RecordingReporter r;
  auto& f = r.Flags();
  f.KeepRunning = f.KeepDecrypting = f.KeepCreating = f.KeepSeparating = f.KeepShredding = true;
  r.StopAllAndYield();
  EXPECT_FALSE(f.KeepRunning || f.KeepDecrypting || f.KeepCreating || f.KeepSeparating || f.KeepShredding);
  EXPECT_EQ(r.compression_stops, 1);
}

}  // namespace
}  // namespace vesk
