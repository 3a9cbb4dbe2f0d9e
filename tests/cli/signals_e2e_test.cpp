// Every vesk-cli subcommand stops cleanly on a hang-up or a broken pipe: the
// run ends through its cancel, never by the signal's default action, so no
// staging file is left and a half-overwritten file keeps its name.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "support/process.h"
#include "support/temp_dir.h"

namespace vesk {
namespace {

using testing::ProcessOptions;
using testing::RandomBytes;
using testing::RunProcess;
using testing::SignalOnCue;
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
  WriteFile(file, std::string(256 << 20, 'x'));
  const auto run = RunProcess({VESK_CLI_PATH, "shred", file, "--yes"}, SignalOnCue(SIGHUP, "进行粉碎文件"));
  EXPECT_NE(run.status, 128 + SIGHUP) << "ended by the signal itself";
  if (run.status != 0) {  // stopped before it finished: the file is still there, whole
    EXPECT_EQ(run.status, 1) << run.err;
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, int64_t{256} << 20);
  }
}

TEST(CliSignals, ABrokenPipeSignalStopsMakingASelfDecryptingFileWithoutLeftovers) {
  TempDir dir;
  const std::string plain = dir.File("p.bin"), container = dir.File("p.jmz");
  WriteFile(plain, RandomBytes(96 << 20, 4));
  ProcessOptions key;
  key.env["VESK_TEST_KEY"] = "k";
  const auto made = RunProcess(
      {VESK_CLI_PATH, "encrypt", plain, "-o", container, "--level", "0", "--key-env", "VESK_TEST_KEY", "--yes"}, key);
  ASSERT_EQ(made.status, 0) << made.err;
  const auto run = RunProcess({VESK_CLI_PATH, "make-sfx", container, "--yes"},
                              SignalOnCue(SIGPIPE, "进行创建自解密文件"));
  EXPECT_NE(run.status, 128 + SIGPIPE) << "ended by the signal itself";
  EXPECT_EQ(StagingFiles(dir.path()), 0u);
  if (run.status != 0) {
    EXPECT_FALSE(std::filesystem::exists(dir.File("p.run")));
  }
}

}  // namespace
}  // namespace vesk
