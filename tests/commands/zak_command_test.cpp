// The ".zak" commands: where each output goes under each output rule, and
// that a file compressed by the command is byte for byte what the
// compression component writes at each level.
#include "commands/zak_command.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <dirent.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "compress/compress_file.h"
#include "compress/compressor.h"
#include "support/disk.h"
#include "support/faults.h"
#include "support/temp_dir.h"
#include "threads/queued_ui_thread.h"
#include "threads/worker.h"

namespace vesk::commands {
namespace {

class Quiet : public Progress, public Prompter {
 public:
  void ShowStatus(const std::string&) override {}
  void ReportMessage(const std::string&) override {}
  bool AskYesNo(const std::string&, const std::string&) override { return false; }

 protected:
  void OnBarRange(int64_t) override {}
  void OnBarPosition(int64_t) override {}
};

TEST(ZakPlan, TargetsFollowTheRule) {
  testing::TempDir dir;
  const auto f = [&](const char* name) { return dir.File(name); };
  for (const char* name : {"a.txt", "x.tar.gz", "plain", "a.txt.zak", "noext", "d.tar"}) testing::WriteFile(f(name), "a");
  ASSERT_EQ(::mkdir(f("tree").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(f("out").c_str(), 0755), 0);
  enum Kind { kCompress, kDecompress, kUnpack };
  struct Case {
    Kind kind;
    std::vector<std::string> sources;
    OutputRule rule;
    std::vector<std::string> targets;  // "" for a source that is not run
  };
  const Case cases[] = {
      {kCompress, {f("a.txt"), f("x.tar.gz"), f("tree/")}, OutputRule::Proposed(),
       {"", f("x.tar.gz.zak"), f("tree.tar.zak")}},  // a.txt.zak is there: answered No
      {kCompress, {f("a.txt")}, OutputRule::Exact(f("out.bin")), {f("out.txt.zak")}},
      {kCompress, {f("a.txt")}, OutputRule::Exact(f("out.tar.gz")), {f("out.txt.zak")}},
      {kCompress, {f("a.txt")}, OutputRule::Exact(f("named.zak")), {f("named.zak")}},
      {kCompress, {f("tree")}, OutputRule::Exact(f("t")), {f("t.zak")}},
      {kCompress, {f("a.txt"), f("tree")}, OutputRule::Folder(f("out")), {f("out/a.txt.zak"), f("out/tree.tar.zak")}},
      {kCompress, {f("missing")}, OutputRule::Proposed(), {""}},
      {kCompress, {f("a.txt")}, OutputRule::Exact(f("a.txt.zak")), {""}},  // there, and answered No
      {kDecompress, {f("a.txt.zak"), f("noext")}, OutputRule::Folder(f("out")), {f("out/a.txt"), f("out/noext.out")}},
      {kDecompress, {f("a.txt.zak")}, OutputRule::Proposed(), {""}},
      {kDecompress, {f("a.txt.zak"), f("out/../a.txt.zak")}, OutputRule::Folder(f("out")), {f("out/a.txt"), f("out/a (2).txt")}},
      {kUnpack, {f("d.tar"), f("noext")}, OutputRule::Proposed(), {f("d"), f("noext.d")}},
      {kUnpack, {f("d.tar")}, OutputRule::Exact(f("tree")), {f("tree")}},  // refused by the run, not the plan
  };
  Quiet quiet;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sources.front());
    FileRequest request;
    request.format = Format::kCompressed;
    request.sources = c.sources;
    request.output = c.rule;
    CompressCommand compress(quiet);
    DecompressCommand decompress(quiet);
    UnpackCommand unpack;
    const Plan plan = c.kind == kCompress     ? compress.MakePlan(request)
                      : c.kind == kDecompress ? decompress.MakePlan(request)
                                              : unpack.MakePlan(request);
    ASSERT_EQ(plan.items.size(), c.targets.size());
    for (std::size_t i = 0; i < c.targets.size(); ++i) {
      EXPECT_EQ(plan.items[i].Runs() ? plan.items[i].target : "", c.targets[i]);
    }
  }
}

// The bytes of the component's stream at `level` (1..3).
std::string ComponentStream(const std::string& source, const std::string& dest, int level) {
  QueuedUiThread ui;
  Compressor zip(ui);
  bool ended = false, normal = false;
  zip.OnEnd = [&](bool n, float) {
    ended = true;
    normal = n;
  };
  zip.SourceFile = source;
  zip.DestFile = dest;
  zip.ZipLevel = static_cast<TCompressionLevel>(level);
  zip.Compress();
  EXPECT_TRUE(ui.RunUntil([&] { return ended; }, std::chrono::milliseconds(60000)));
  EXPECT_TRUE(normal);
  WaitForWorkers(std::chrono::milliseconds(5000));
  return testing::ReadFile(dest);
}

TEST(CompressFile, WritesTheComponentsBytesAtEachLevel) {
  testing::TempDir dir;
  std::mt19937 random(7);
  for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{65536}, std::size_t{3} << 20}) {
    // Half text, half noise: both kinds of block.
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i) data[i] = i < size / 2 ? "abcab cabbage "[i % 14] : char(random());
    const std::string source = dir.File("s" + std::to_string(size));
    testing::WriteFile(source, data);
    for (int level = 1; level <= 3; ++level) {
      SCOPED_TRACE(std::to_string(size) + " bytes at level " + std::to_string(level));
      Quiet quiet;
      StopSource stop;
      RunContext context{quiet, quiet, stop.Token()};
      compress::CompressJob job;
      job.source = source;
      job.target = dir.File("c.zak");
      job.level = level;
      job.replace = true;
      ASSERT_TRUE(compress::CompressFile(job, context).Completed());
      EXPECT_EQ(testing::ReadFile(job.target), ComponentStream(source, dir.File("z.zak"), level));
    }
  }
}

// The modes of the staging files in `folder`: hidden names, or none.
std::vector<mode_t> StagingModes(const std::string& folder) {
  std::vector<mode_t> modes;
  DIR* dir = ::opendir(folder.c_str());
  while (const dirent* entry = dir != nullptr ? ::readdir(dir) : nullptr) {
    const std::string name = entry->d_name;
    struct stat st {};
    if (name.rfind(".vesk-", 0) == 0 && ::stat((folder + "/" + name).c_str(), &st) == 0) modes.push_back(st.st_mode & 07777);
  }
  if (dir != nullptr) ::closedir(dir);
  for (const unsigned mode : testing::UnnamedFileModes(folder)) modes.push_back(mode);
  return modes;
}

// Each ending: the staging file is private while written, and only a
// complete run leaves anything (its target, as private as its source).
TEST(CompressFile, LeavesItsPrivateTargetOrNothing) {
  testing::TempDir dir;
  const std::string source = dir.File("private.bin");
  testing::WriteFile(source, std::string(200000, 'p'));
  ASSERT_EQ(::chmod(source.c_str(), 0600), 0);
  enum Ending { kDone, kStopped, kDiskFull };
  for (const Ending ending : {kDone, kStopped, kDiskFull}) {
    SCOPED_TRACE(ending);
    Quiet quiet;
    StopSource stop;
    RunContext context{quiet, quiet, stop.Token()};
    compress::CompressJob job;
    job.source = source;
    job.target = dir.File("private.bin.zak");
    job.mode = 0600;
    std::vector<mode_t> seen;
    const WriteHook fail = testing::faults::FailWriteAt(100);
    job.faults.before_write = [&](int64_t offset, std::size_t size) {
      const std::vector<mode_t> modes = StagingModes(dir.path());
      seen.insert(seen.end(), modes.begin(), modes.end());
      if (ending == kStopped) stop.RequestStop();
      if (ending == kDiskFull) fail(offset, size);
    };
    const RunResult result = compress::CompressFile(job, context);
    EXPECT_EQ(result.outcome, ending == kDone ? Outcome::kDone : ending == kStopped ? Outcome::kCancelled : Outcome::kFailed);
    EXPECT_FALSE(seen.empty());
    for (const mode_t mode : seen) EXPECT_EQ(mode, 0600u);
    EXPECT_TRUE(StagingModes(dir.path()).empty());
    struct stat st {};
    EXPECT_EQ(::stat(job.target.c_str(), &st) == 0, ending == kDone);
    if (ending == kDone) {
      EXPECT_EQ(st.st_mode & 07777, 0600u);
    }
    ::unlink(job.target.c_str());
  }
}

}  // namespace
}  // namespace vesk::commands
