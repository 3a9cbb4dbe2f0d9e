// The folder engines end to end on real trees: every road's output, taken
// apart by the matching reader and then by GNU tar, gives back the tree;
// refusals, failures and cancels leave nothing behind; the summary counts
// what was packed and lists what was left out.
#include "archive/folder_engine.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "archive/tree_fixture.h"
#include "compress/inflate_reader.h"
#include "crypto/age/age.h"
#include "crypto/keyed/decrypt_engine.h"
#include "crypto/keyed/system_random.h"
#include "crypto/keyless/cipher.h"
#include "platform/file_io.h"
#include "support/disk.h"
#include "support/recording_reporter.h"
#include "support/temp_dir.h"

namespace vesk::archive {
namespace {

using testing::BuildSampleTree;
using testing::Differences;
using testing::FolderEntries;
using testing::MakeRemovable;
using testing::Quote;
using testing::ReadFile;
using testing::RecordingReporter;
using testing::Shell;
using testing::TakeSnapshot;
using testing::TempDir;
using testing::WithoutSpecials;
using testing::WriteFile;

std::string Inflate(const std::string& path) {
  InputFile in(path);
  compress::InflateReader reader(in);
  std::string out, buffer(1 << 20, '\0');
  for (;;) {
    const std::size_t got = reader.Read(buffer.data(), buffer.size());
    out.append(buffer.data(), got);
    if (got < buffer.size()) return out;
  }
}

// The decryption engine's host, decompressing at once where the window
// would start its compression component.
class Host : public keyed::DecryptHost {
 public:
  explicit Host(std::string key) : key_(std::move(key)) {}
  std::string DecryptionKey() override { return key_; }
  void SetHint(Hint, const std::string&) override {}
  void OutputChosen(const std::string& path) override { output = path; }
  bool StartDecompression(const std::string& source, const std::string& dest, bool delete_after) override {
    WriteFile(dest, Inflate(source));
    if (delete_after) ::unlink(source.c_str());
    return true;
  }
  std::string output;

 private:
  std::string key_;
};

class FolderEngine : public ::testing::Test {
 protected:
  FolderEngine() {
    setenv("TMPDIR", tmp_.path().c_str(), 1);
    ::mkdir(dir_.File("src").c_str(), 0755);
    folder_ = dir_.File("src/top");
  }
  ~FolderEngine() override {
    MakeRemovable(dir_.path());
    unsetenv("TMPDIR");
  }

  PackJob Job(Road road, int level = 0) {
    PackJob job;
    job.folder = folder_;
    job.target_path = dir_.File("top.tar.jmz");
    job.road = road;
    job.level = level;
    job.key = "口令";
    if (road == Road::kAge) {
      auto age = std::make_shared<age_files::EncryptJob>();
      age->passphrase = age::SecretBytes::FromString("口令");
      age->work_factor = 10;  // a quick derivation; the factor itself is not what is tested here
      job.age = std::move(age);
    }
    return job;
  }
  // Runs the engine with the recorder as its context; the result is recorded.
  void Pack(const PackJob& job) {
    keyed::SystemRandom random;
    RunContext context{r_, r_, r_.RunStopToken()};
    r_.Record(PackFolder(job, context, &random));
  }
  void Unpack(const UnpackJob& job) {
    RunContext context{r_, r_, r_.RunStopToken()};
    r_.Record(UnpackFolder(job, context));
  }
  // The tar inside `file` as `road` wrote it.
  std::string TarOf(const std::string& file, Road road) {
    switch (road) {
      case Road::kTar: return ReadFile(file);
      case Road::kCompressed: return Inflate(file);
      case Road::kKeyless: {
        const std::string c = ReadFile(file);
        auto opened = keyless::DecryptContainer({reinterpret_cast<const uint8_t*>(c.data()), c.size()}, "口令");
        return opened ? std::string(opened->plain.begin(), opened->plain.end()) : std::string();
      }
      case Road::kAge: {
        const std::string c = ReadFile(file);
        age::MemorySource in(c);
        age::StringSink out;
        const age::ScryptIdentity passphrase(age::SecretBytes::FromString("口令"));
        const age::Result r = age::Decrypt({&passphrase}, in, out, {}, no_stop_);
        EXPECT_TRUE(r.ok()) << r.detail;
        return out.out;
      }
      case Road::kKeyed: break;
    }
    ::unlink(dir_.File("decrypted.tar").c_str());
    RecordingReporter r;
    Host host("口令");
    keyed::DecryptJob job;
    job.source_path = file;
    job.original_ext = ".jmz";
    job.target_path = dir_.File("decrypted");
    r.RunEngine([&](RunContext& context) { return keyed::DecryptFile(job, context, host); });
    EXPECT_EQ(host.output, dir_.File("decrypted.tar"));  // the stored extension
    return ReadFile(dir_.File("decrypted.tar"));
  }
  std::string GnuTarTree(const std::string& tar, const std::string& name) {
    WriteFile(dir_.File(name + ".tar"), tar);
    ::mkdir(dir_.File(name).c_str(), 0755);
    EXPECT_EQ(Shell("tar -xpf " + Quote(dir_.File(name + ".tar")) + " -C " + Quote(dir_.File(name))), 0);
    return dir_.File(name + "/top");
  }

  TempDir dir_, tmp_;
  std::string folder_;
  RecordingReporter r_;
  const std::atomic<bool> no_stop_{false};
};

TEST_F(FolderEngine, EveryRoadGivesBackTheTreeThroughItsReaderAndGnuTar) {
  BuildSampleTree(folder_);
  const auto expected = WithoutSpecials(TakeSnapshot(folder_));
  struct Case {
    Road road;
    int level;
    const char* name;
  };
  for (const Case c : {Case{Road::kTar, 0, "tar"}, Case{Road::kCompressed, 2, "zak"}, Case{Road::kKeyed, 0, "keyed"},
                       Case{Road::kKeyed, 3, "keyed3"}, Case{Road::kKeyless, 0, "keyless"}, Case{Road::kAge, 0, "age"}}) {
    SCOPED_TRACE(c.name);
    PackJob job = Job(c.road, c.level);
    job.target_path = dir_.File(std::string(c.name) + ".out");
    r_.BeginRun();
    Pack(job);
    ASSERT_EQ(r_.Result().outcome, Outcome::kDone) << r_.Result().reason;
    EXPECT_EQ(r_.Result().written, std::vector<std::string>{job.target_path});
    // The summary counts the files and bytes and lists what was left out.
    ASSERT_FALSE(r_.messages.empty());
    EXPECT_NE(r_.messages.back().find("共 9 个文件，119 字节"), std::string::npos) << r_.messages.back();
    EXPECT_NE(r_.messages.back().find("top/fifo\n  top/socket"), std::string::npos) << r_.messages.back();
    EXPECT_EQ(Differences(expected, TakeSnapshot(GnuTarTree(TarOf(job.target_path, c.road), c.name))), "");
  }
  EXPECT_EQ(FolderEntries(tmp_.path()), std::vector<std::string>{});
}

TEST_F(FolderEngine, ALargeFileAmongManySmallOnesComesBackWhole) {
  ::mkdir(folder_.c_str(), 0755);
  WriteFile(folder_ + "/large", testing::RandomBytes(30 << 20, 1));
  for (int i = 0; i < 2000; ++i) {
    const std::string sub = folder_ + "/d" + std::to_string(i % 20);
    ::mkdir(sub.c_str(), 0755);
    WriteFile(sub + "/f" + std::to_string(i), testing::RandomBytes(static_cast<std::size_t>(i % 97) * 40, i));
  }
  const PackJob job = Job(Road::kKeyed, 1);
  Pack(job);
  ASSERT_EQ(r_.Result().outcome, Outcome::kDone) << r_.Result().reason;
  EXPECT_NE(r_.Status().find("共 2001 个文件"), std::string::npos) << r_.Status();
  EXPECT_EQ(Differences(TakeSnapshot(folder_), TakeSnapshot(GnuTarTree(TarOf(job.target_path, Road::kKeyed), "big"))), "");
  // The bar went up to its end, and only forward.
  ASSERT_FALSE(r_.bar_positions.empty());
  EXPECT_TRUE(std::is_sorted(r_.bar_positions.begin(), r_.bar_positions.end()));
  EXPECT_EQ(r_.bar_positions.back(), r_.BarMax());
}

TEST_F(FolderEngine, RefusalsWriteNothingAndKeepWhatIsThere) {
  BuildSampleTree(folder_);
  // No key.
  PackJob job = Job(Road::kKeyed);
  job.key.clear();
  Pack(job);
  EXPECT_EQ(r_.Result().outcome, Outcome::kRefused);
  // The output inside the folder being packed.
  job = Job(Road::kKeyed);
  job.target_path = folder_ + "/private/inside.jmz";
  r_.BeginRun();
  Pack(job);
  EXPECT_EQ(r_.Result().outcome, Outcome::kRefused);
  EXPECT_FALSE(PathExists(job.target_path));
  // A file at the target that the user did not agree to replace.
  WriteFile(dir_.File("top.tar.jmz"), "keep me");
  job = Job(Road::kKeyed);
  job.replace_target = false;
  r_.BeginRun();
  Pack(job);
  EXPECT_EQ(r_.Result().outcome, Outcome::kRefused);
  EXPECT_EQ(ReadFile(dir_.File("top.tar.jmz")), "keep me");
  // More than a container holds (a sparse file: nothing is read).
  const int fd = ::open((folder_ + "/huge").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_EQ(::ftruncate(fd, int64_t{5} << 30), 0);
  ::close(fd);
  for (const Road road : {Road::kKeyed, Road::kKeyless}) {
    job = Job(road);
    job.target_path = dir_.File("huge.jmz");
    r_.BeginRun();
    Pack(job);
    EXPECT_EQ(r_.Result().outcome, Outcome::kRefused);
    EXPECT_EQ(r_.Result().reason, "文件夹打包后大于4GB，不能加密!加密文件已取消。");
  }
  EXPECT_EQ(FolderEntries(dir_.path()), (std::vector<std::string>{"src", "top.tar.jmz"}));
}

TEST_F(FolderEngine, ACancelLeavesNothing) {
  BuildSampleTree(folder_);
  WriteFile(folder_ + "/big", testing::RandomBytes(4 << 20, 2));
  r_.on_bar_position = [this](int64_t) { r_.RequestRunStop(); };
  Pack(Job(Road::kKeyed, 2));
  EXPECT_EQ(r_.Result().outcome, Outcome::kCancelled);
  EXPECT_EQ(FolderEntries(dir_.path()), std::vector<std::string>{"src"});
}

// Runs `body` in a child process without the power to read every file,
// which root otherwise has; the child's exit status.
int WithoutReadOverride(const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    ::syscall(SYS_capget, &header, data);
    for (int bit : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) data[0].effective &= ~(1u << bit);
    ::syscall(SYS_capset, &header, data);
    ::_exit(body());
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 99;
}

// The message says what the folder did not become: a compression-only or
// plain tar run says nothing of encryption.
TEST_F(FolderEngine, AnUnreadableFileStopsTheRunWithItsName) {
  BuildSampleTree(folder_);
  ASSERT_EQ(::chmod((folder_ + "/private/secret").c_str(), 0), 0);
  const struct {
    Road road;
    const char* reason;
  } cases[] = {{Road::kKeyed, "无法读取“top/private/secret”，文件夹没有加密。"},
               {Road::kCompressed, "无法读取“top/private/secret”，文件夹没有压缩。"},
               {Road::kTar, "无法读取“top/private/secret”，文件夹没有打包。"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reason);
    const int status = WithoutReadOverride([this, &c] {
      Pack(Job(c.road, 2));
      const RunResult result = r_.Result();
      if (result.outcome != Outcome::kFailed) return 1;
      if (result.reason != c.reason) return 2;
      return PathExists(dir_.File("top.tar.jmz")) ? 3 : 0;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(FolderEntries(dir_.path()), std::vector<std::string>{"src"});
  }
}

TEST_F(FolderEngine, UnpackingMakesTheFolderAndDropsTheTarItWasGiven) {
  BuildSampleTree(folder_);
  PackJob job = Job(Road::kTar);
  job.target_path = dir_.File("top.tar");
  Pack(job);
  // The FIFO and socket are no part of the tar; nothing is left out.
  ::unlink((folder_ + "/fifo").c_str());
  ::unlink((folder_ + "/socket").c_str());
  UnpackJob unpack{dir_.File("top.tar"), dir_.File("top"), true};
  r_.BeginRun();
  Unpack(unpack);
  ASSERT_EQ(r_.Result().outcome, Outcome::kDone) << r_.Result().reason;
  EXPECT_EQ(Differences(TakeSnapshot(folder_), TakeSnapshot(dir_.File("top"))), "");
  EXPECT_FALSE(PathExists(dir_.File("top.tar")));
  // Again: the folder is there now, and is neither merged into nor replaced.
  Pack(job);
  r_.BeginRun();
  Unpack(unpack);
  EXPECT_EQ(r_.Result().outcome, Outcome::kRefused);
  EXPECT_EQ(r_.messages.back(), "文件夹“" + dir_.File("top") + "”已经存在，没有解开。(已有的文件夹不会被合并或者替换)");
  EXPECT_TRUE(PathExists(dir_.File("top.tar")));
  // A damaged tar: a failure, and nothing left.
  WriteFile(dir_.File("bad.tar"), ReadFile(dir_.File("top.tar")).substr(0, 3000));
  r_.BeginRun();
  Unpack({dir_.File("bad.tar"), dir_.File("bad"), true});
  EXPECT_EQ(r_.Result().outcome, Outcome::kFailed);
  EXPECT_EQ(FolderEntries(dir_.path()), (std::vector<std::string>{"bad.tar", "src", "top", "top.tar"}));
}

// Names from the packed folder or from a tar stream can hold terminal
// controls (a title change, a screen clear): every list and message that
// names them shows them escaped.
TEST_F(FolderEngine, NamesInMessagesAreShownEscaped) {
  const std::string fifo = "f\x1b]0;t\x07";
  const std::string setid = "s\x1b[2J";
  ASSERT_EQ(::mkdir(folder_.c_str(), 0755), 0);
  ASSERT_EQ(::mkfifo((folder_ + "/" + fifo).c_str(), 0644), 0);
  WriteFile(folder_ + "/" + setid, "x");
  ASSERT_EQ(::chmod((folder_ + "/" + setid).c_str(), 04755), 0);
  const auto shown = [this] {
    std::string all = r_.Result().reason;
    for (const std::string& m : r_.messages) all += m;
    return all;
  };
  PackJob job = Job(Road::kTar);
  job.target_path = dir_.File("top.tar");
  Pack(job);
  EXPECT_EQ(shown().find('\x1b'), std::string::npos);
  EXPECT_NE(shown().find("f\\x1B]0;t\\x07"), std::string::npos) << ::testing::PrintToString(shown());
  // GNU tar keeps the FIFO: skipped, and the set-ID bit cleared, on unpacking.
  ASSERT_EQ(Shell("tar -cf " + Quote(dir_.File("gnu.tar")) + " -C " + Quote(dir_.File("src")) + " top"), 0);
  r_.BeginRun();
  Unpack({dir_.File("gnu.tar"), dir_.File("out"), false});
  EXPECT_EQ(shown().find('\x1b'), std::string::npos);
  EXPECT_NE(shown().find("s\\x1B[2J"), std::string::npos) << shown();
  EXPECT_NE(shown().find("f\\x1B]0;t\\x07"), std::string::npos) << shown();
  // An unsafe entry's name in the refusal.
  ASSERT_EQ(Shell("tar -cf " + Quote(dir_.File("evil.tar")) + " -C " + Quote(dir_.File("src")) +
                  " --transform='s|^top/s|../\x1b[2J|' top/" + Quote(setid)), 0);
  r_.BeginRun();
  Unpack({dir_.File("evil.tar"), dir_.File("evil"), false});
  EXPECT_EQ(r_.Result().outcome, Outcome::kRefused);
  EXPECT_EQ(shown().find('\x1b'), std::string::npos) << shown();
}

// A disk that fills up is named as the reason whichever way the folder
// goes, though the run's cleanup frees the space before the message.
TEST_F(FolderEngine, AFullDiskIsTheReasonGivenWhenPackingOrUnpacking) {
  testing::SmallDisk disk(1 << 20);
  if (!disk.Ready()) GTEST_SKIP() << "cannot mount a small disk";
  ASSERT_EQ(::mkdir(folder_.c_str(), 0755), 0);
  WriteFile(folder_ + "/big", testing::RandomBytes(3 << 20, 7));
  PackJob job = Job(Road::kTar);
  job.target_path = disk.File("top.tar");
  Pack(job);
  EXPECT_EQ(r_.Result().reason, "打包文件夹出错!已停止。磁盘空间不足。");
  job.target_path = dir_.File("top.tar");
  Pack(job);
  ASSERT_EQ(r_.Result().outcome, Outcome::kDone);
  r_.BeginRun();
  Unpack({dir_.File("top.tar"), disk.File("top"), false});
  EXPECT_EQ(r_.Result().reason, "解开文件夹“" + disk.File("top") + "”出错!已停止。磁盘空间不足。");
  EXPECT_TRUE(FolderEntries(disk.path()).empty());
}

// A name that no folder here can hold (a component over 255 bytes, as
// another system's tar may store) is named as the reason.
TEST_F(FolderEngine, ANameTooLongForTheFileSystemIsTheReasonGiven) {
  ASSERT_EQ(::mkdir(folder_.c_str(), 0755), 0);
  WriteFile(folder_ + "/short", "x");
  const std::string name(300, 'n');
  ASSERT_EQ(Shell("tar -cf " + Quote(dir_.File("long.tar")) + " -C " + Quote(dir_.File("src")) +
                  " --transform='s|short$|" + name + "|' top"), 0);
  r_.BeginRun();
  Unpack({dir_.File("long.tar"), dir_.File("out"), false});
  EXPECT_EQ(r_.Result().outcome, Outcome::kFailed);
  EXPECT_EQ(r_.Result().reason, "解开文件夹“" + dir_.File("out") + "”出错!已停止。“top/" + name +
                                    "”的名称太长，这里的文件系统不能保存。");
  EXPECT_EQ(FolderEntries(dir_.path()), (std::vector<std::string>{"long.tar", "src"}));
}

}  // namespace
}  // namespace vesk::archive
