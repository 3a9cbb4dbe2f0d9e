// Every vesk-cli subcommand stops cleanly on a hang-up or a broken pipe: the
// run ends through its cancel, never by the signal's default action, so no
// staging file is left and a half-overwritten file keeps its name.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "support/disk.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace vesk {
namespace {

using testing::ProcessOptions;
using testing::RandomBytes;
using testing::RunProcess;
using testing::CancelMidRun;
using testing::TempDir;
using testing::WriteFile;

std::size_t StagingFiles(const std::string& dir) {
  std::size_t n = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    if (e.path().filename().string().rfind(".vesk-", 0) == 0) ++n;
  }
  return n;
}

TEST(CliSignals, AHangUpStopsAShredAndTheFileKeepsItsNameAndLength) {
  TempDir dir;
  const std::string file = dir.File("big.bin");
  WriteFile(file, std::string(16 << 20, 'x'));
  const auto run = RunProcess({VESK_CLI_PATH, "shred", file, "--yes"}, CancelMidRun(SIGHUP, "进行粉碎文件"));
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(run.err.find("粉碎文件已完成"), std::string::npos) << run.err;
  EXPECT_EQ(run.out, "");
  // Stopped while overwriting: the file is still there under its name, whole.
  struct stat st {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, int64_t{16} << 20);
  EXPECT_EQ(testing::FolderEntries(dir.path()), std::vector<std::string>{"big.bin"});
}

TEST(CliSignals, ABrokenPipeSignalStopsMakingASelfDecryptingFileWithoutLeftovers) {
  TempDir dir;
  const std::string plain = dir.File("p.bin"), container = dir.File("p.jmz");
  WriteFile(plain, RandomBytes(8 << 20, 4));
  ProcessOptions key;
  key.env["VESK_TEST_KEY"] = "k";
  const auto made = RunProcess(
      {VESK_CLI_PATH, "encrypt", plain, "-o", container, "--level", "0", "--key-env", "VESK_TEST_KEY", "--yes"}, key);
  ASSERT_EQ(made.status, 0) << made.err;
  const auto run = RunProcess({VESK_CLI_PATH, "make-sfx", container, "--yes"},
                              CancelMidRun(SIGPIPE, "进行创建自解密文件"));
  EXPECT_EQ(run.status, 1) << run.err;  // not 128 + SIGPIPE: the run's own cancel
  EXPECT_NE(run.err.find("创建自解密文件已取消。"), std::string::npos) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(StagingFiles(dir.path()), 0u);
  EXPECT_FALSE(std::filesystem::exists(dir.File("p.run")));
  EXPECT_EQ(testing::FolderEntries(dir.path()), (std::vector<std::string>{"p.bin", "p.jmz"}));
}

}  // namespace
}  // namespace vesk
