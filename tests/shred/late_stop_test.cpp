// A stop that reaches the shredder once every byte is zeroed: the file is
// destroyed already, so it is flushed and deleted all the same, and the
// message says why; a stop before the last block still keeps the file.
#include <unistd.h>

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
    return ShredFile(job, r);
  }
  TempDir dir;
  RecordingReporter r;
  ShredJob job;
};

TEST_F(LateStop, AStopAfterTheLastBlockStillDeletesTheZeroedFile) {
  const std::string path = dir.File("账本.bin");
  const std::string keeper = dir.File("keeper");  // the inode, readable after the delete
  WriteFile(path, RandomBytes(3 * 65535 + 7, 1));
  ASSERT_EQ(::link(path.c_str(), keeper.c_str()), 0);
  bool synced = false;
  // The stop arrives while the last block is written, through the run flag
  // and through the window's own stop alike.
  bool stopped = false;
  job.stopped = [&] { return stopped; };
  job.before_write = [&](int64_t offset, std::size_t) {
    if (offset == 3 * 65535) {
      stopped = true;
      r.Flags().KeepShredding = false;
    }
  };
  job.before_sync = [&] { synced = true; };
  EXPECT_TRUE(Shred(path));
  EXPECT_TRUE(synced);
  EXPECT_FALSE(PathExists(path));
  EXPECT_EQ(ReadFile(keeper), std::string(3 * 65535 + 7, '\0'));
  EXPECT_EQ(r.messages, std::vector<std::string>{"停止时文件已全部被零覆盖，已将其删除。粉碎文件已完成 — " + path});
  EXPECT_TRUE(r.Result().Completed());
}

TEST_F(LateStop, AStopDuringTheFlushStillDeletesTheFile) {
  const std::string path = dir.File("b.bin");
  WriteFile(path, RandomBytes(65535, 2));
  job.before_sync = [&] { r.Flags().KeepShredding = false; };
  EXPECT_TRUE(Shred(path));
  EXPECT_FALSE(PathExists(path));
  EXPECT_EQ(r.messages, std::vector<std::string>{"停止时文件已全部被零覆盖，已将其删除。粉碎文件已完成 — " + path});
}

TEST_F(LateStop, AStopBeforeTheLastBlockKeepsTheFile) {
  const std::string path = dir.File("c.bin");
  const std::string original = RandomBytes(3 * 65535 + 7, 3);
  WriteFile(path, original);
  job.before_write = [&](int64_t offset, std::size_t) {
    if (offset == 2 * 65535) r.Flags().KeepShredding = false;  // during the third of four blocks
  };
  EXPECT_FALSE(Shred(path));
  EXPECT_TRUE(r.messages.empty());
  EXPECT_EQ(ReadFile(path), std::string(3 * 65535, '\0') + original.substr(3 * 65535));
}

}  // namespace
}  // namespace vesk::shred
