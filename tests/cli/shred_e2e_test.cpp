// vesk-cli shred as a user runs it: the question per file answered by the
// flags, the messages on standard error, the exit status.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "support/process.h"
#include "support/temp_dir.h"

namespace vesk {
namespace {

using testing::ProcessResult;
using testing::RandomBytes;
using testing::ReadFile;
using testing::RunProcess;
using testing::TempDir;
using testing::WriteFile;

bool Exists(const std::string& path) { return std::filesystem::symlink_status(path).type() != std::filesystem::file_type::not_found; }

class ShredCliTest : public ::testing::Test {
 protected:
  ProcessResult Cli(std::vector<std::string> args) {
    args.insert(args.begin(), {VESK_CLI_PATH, "shred"});
    return RunProcess(args);
  }
  std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
    return n;
  }
  TempDir dir_;
};

TEST_F(ShredCliTest, YesShredsEveryFileAndExitsZero) {
  const std::string a = dir_.File("a.bin"), empty = dir_.File("empty"), keeper = dir_.File("keeper");
  WriteFile(a, RandomBytes(70000, 1));
  WriteFile(empty, "");
  ASSERT_EQ(::link(a.c_str(), keeper.c_str()), 0);
  const auto run = Cli({a, empty, "--yes"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_FALSE(Exists(a));
  EXPECT_FALSE(Exists(empty));
  EXPECT_EQ(ReadFile(keeper), std::string(70000, '\0'));
  EXPECT_TRUE(run.out.empty());
  EXPECT_NE(run.err.find("真的要粉碎文件“" + a + "”吗？\n注意：此文件另有 1 个硬链接名称"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("粉碎文件已完成 — " + a), std::string::npos);
  EXPECT_NE(run.err.find("粉碎文件已完成 — " + empty), std::string::npos);
}

TEST_F(ShredCliTest, NoOrNoTerminalLeavesTheFilesAndExitsOne) {
  const std::string a = dir_.File("a.txt");
  WriteFile(a, "keep");
  for (const auto& args : {std::vector<std::string>{a, "--no"}, std::vector<std::string>{a}}) {
    const auto run = Cli(args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(ReadFile(a), "keep");
    EXPECT_NE(run.err.find("粉碎文件已取消。 - " + a), std::string::npos) << run.err;
  }
  EXPECT_EQ(Cli({a, "--yes", "--no"}).status, 2);
  EXPECT_EQ(Cli({"--yes"}).status, 2);
}

TEST_F(ShredCliTest, ARefusedFileMakesTheStatusOneAndTheOthersAreStillShredded) {
  const std::string target = dir_.File("target"), link = dir_.File("link"), fifo = dir_.File("fifo");
  const std::string plain = dir_.File("plain"), read_only = dir_.File("read-only");
  WriteFile(target, "target");
  WriteFile(plain, "plain");
  WriteFile(read_only, "read-only");
  ASSERT_EQ(::chmod(read_only.c_str(), 0444), 0);
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const auto run = Cli({link, fifo, read_only, dir_.path(), plain, dir_.File("missing"), "--yes"});
  EXPECT_EQ(run.status, 1);
  EXPECT_FALSE(Exists(plain));
  EXPECT_EQ(ReadFile(target), "target");
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_TRUE(Exists(fifo));
  EXPECT_EQ(ReadFile(read_only), "read-only");
  EXPECT_EQ(Count(run.err, "粉碎文件出错，已停止。 要粉碎的文件正在使用中或者有只读属性等。"), 5u) << run.err;
  EXPECT_EQ(Count(run.err, "粉碎文件已完成 — "), 1u);
}

}  // namespace
}  // namespace vesk
