#include <gtest/gtest.h>

#include "cli/key_text.h"
#include "cli/output_name.h"
#include "cli/progress_line.h"

namespace vesk::cli {
namespace {

TEST(KeyText, OneFinalLineBreakIsDroppedAndTheOthersBecomeCrLf) {
  EXPECT_EQ(NormalizeKeyText("abc\n"), "abc");
  EXPECT_EQ(NormalizeKeyText("abc\r\n"), "abc");
  EXPECT_EQ(NormalizeKeyText("abc\n\n"), "abc\r\n");
  EXPECT_EQ(NormalizeKeyText("a\nb\r\nc"), "a\r\nb\r\nc");
  EXPECT_EQ(NormalizeKeyText("a\rb"), "a\r\nb");
  EXPECT_EQ(NormalizeKeyText(""), "");
}

TEST(KeyText, CharactersAreCodePoints) {
  EXPECT_EQ(CharacterCount("密钥ab"), 4u);
  EXPECT_EQ(CharacterCount("\r\n"), 2u);
}

TEST(OutputName, AnOutputEndingWithTheStoredExtensionIsTheFinalName) {
  EXPECT_EQ(DecryptTargetFor("/d/out.txt", ".txt"), "/d/out");
  EXPECT_EQ(DecryptTargetFor("/d/out", ".txt"), "/d/out");
  EXPECT_EQ(DecryptTargetFor("/d/out.TXT", ".txt"), "/d/out.TXT");
  EXPECT_EQ(DecryptTargetFor("/d/out.txt", ""), "/d/out.txt");
  EXPECT_EQ(DecryptTargetFor(".txt", ".txt"), ".txt");        // nothing would be left of the name
  EXPECT_EQ(DecryptTargetFor("/d/.txt", ".txt"), "/d/.txt");
  EXPECT_EQ(DecryptTargetFor("/d/报告.文档", ".文档"), "/d/报告");
  EXPECT_EQ(StoredExtensionOf("/nonexistent/file.jmz"), "");
}

TEST(ProgressLine, ShowsPercentRateAndRemainingTime) {
  EXPECT_EQ(FormatProgress(0.5, 50'000'000, 2.0, 10), "[#####-----]  50%  25.0 MB/s  剩余 0:02");
  EXPECT_EQ(FormatProgress(1.0, 3'000'000'000, 1.5, 4), "[####] 100%  2.00 GB/s");
  EXPECT_EQ(FormatProgress(0.0, 0, 0.0, 4), "[----]   0%");
  EXPECT_EQ(FormatProgress(1.7, 0, 0.0, 4), "[####] 100%");
}

}  // namespace
}  // namespace vesk::cli
