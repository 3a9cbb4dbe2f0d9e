// A stop that reaches the shredder once every byte is zeroed: the file is
// destroyed already, so it is flushed and deleted all the same, and the
// message says why.
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "platform/file_io.h"
#include "shred/shredder.h"
#include "support/recording_reporter.h"
#include "support/temp_dir.h"

namespace vesk::shred {
namespace {

using testing::RandomBytes;
using testing::ReadFile;
using testing::RecordingReporter;
using testing::TempDir;
using testing::WriteFile;

struct LateStop : ::testing::Test {
  bool Shred(const std::string& path) {
    job.path = path;
    r.QueueAnswers({true});
    RunContext context{r, r, stop.Token()};
    result = ShredFile(job, context);
    return result.Completed();
  }
  TempDir dir;
  RecordingReporter r;
  StopSource stop;
  ShredJob job;
  RunResult result;
};

TEST_F(LateStop, AStopOnceEveryByteIsZeroedStillDeletesTheFile) {
  // While the last block is written, and during the flush.
  for (const bool in_flush : {false, true}) {
    SCOPED_TRACE(in_flush ? "during the flush" : "during the last block");
    const std::string path = dir.File("账本.bin");
    const std::string keeper = dir.File("keeper");  // the inode, readable after the delete
    WriteFile(path, RandomBytes(3 * 65535 + 7, 1));
    ASSERT_EQ(::link(path.c_str(), keeper.c_str()), 0);
    bool synced = false;
    job = ShredJob{};
    stop = StopSource();
    job.faults.before_write = [&](int64_t offset, std::size_t size) {
      if (size == 0) {  // the flush of the zeros
        synced = true;
        if (in_flush) stop.RequestStop();
      } else if (!in_flush && offset == 3 * 65535) {
        stop.RequestStop();
      }
    };
    r.messages.clear();
    EXPECT_TRUE(Shred(path));
    EXPECT_TRUE(synced);
    EXPECT_FALSE(PathExists(path));
    EXPECT_EQ(ReadFile(keeper), std::string(3 * 65535 + 7, '\0'));
    EXPECT_EQ(r.messages, std::vector<std::string>{"停止时文件已全部被零覆盖，已将其删除。粉碎文件已完成 — " + path});
    EXPECT_EQ(result.outcome, Outcome::kDone);
    std::filesystem::remove(keeper);
  }
}

}  // namespace
}  // namespace vesk::shred
