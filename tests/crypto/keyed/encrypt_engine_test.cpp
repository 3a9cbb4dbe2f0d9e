// The encryption engine against a unit-by-unit reference: the same draws must
// give the same container bytes and the same progress positions, and every
// failure or cancel must leave no container and no temporary copy behind.
#include "crypto/keyed/encrypt_engine.h"
#include "crypto/keyed/scripted_random.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "crypto/keyed/container.h"
#include "platform/file_io.h"
#include "platform/staged_file.h"
#include "support/disk.h"
#include "support/faults.h"
#include "support/recording_reporter.h"
#include "support/temp_dir.h"

namespace vesk::keyed {
namespace {

using testing::FolderEntries;
using testing::ReadFile;
using testing::RecordingReporter;
using testing::TempDir;
using testing::WriteFile;

std::vector<uint8_t> Draws(std::size_t n, uint8_t r2) {
  std::vector<uint8_t> v;
  for (std::size_t i = 0; i < n; ++i) v.push_back(static_cast<uint8_t>((i * 37 + 5) % 255));
  v.push_back(201);  // r1
  v.push_back(r2);
  v.push_back(77);   // r3
  return v;
}

// The container written one unit at a time, as the format describes it.
std::string ReferenceContainer(const Header& h, const std::string& payload, RecordingReporter& progress) {
  std::string out;
  auto put = [&out](const auto& bytes) { out.append(bytes.begin(), bytes.end()); };
  if (!h.Split()) {
    put(h.LeadBlocks());
    put(h.key_check);
  }
  PayloadCipher cipher = h.MakeCipher(CipherDirection::kEncrypt);
  bool pending = h.Split();
  auto insertion_check = [&](int64_t pos) {
    if (!pending) return;
    if (pos == 260) put(h.LeadBlocks());
    if (pos == h.insertion_point) {
      put(h.key_check);
      pending = false;
    }
  };
  const auto* in = reinterpret_cast<const uint8_t*>(payload.data());
  const int64_t s = static_cast<int64_t>(payload.size());
  progress.ProgressStart(s);
  uint8_t unit_out[4];
  if (h.version == kVersionOlder) {
    for (int64_t i = 0; i < s; ++i) {
      cipher.Transform(in + i, unit_out, 1);
      out.push_back(static_cast<char>(unit_out[0]));
      insertion_check(i + 1);
      progress.ProgressStep(i + 1, 1);
    }
  } else {
    int64_t i = 0;
    for (; i + 4 <= s; i += 4) {
      cipher.Transform(in + i, unit_out, 4);
      out.append(reinterpret_cast<char*>(unit_out), 4);
      insertion_check(i + 4);
      progress.ProgressStep(i + 4, 4);
    }
    cipher.TransformTail(in + i, unit_out, static_cast<std::size_t>(s - i));
    out.append(reinterpret_cast<char*>(unit_out), static_cast<std::size_t>(s - i));
  }
  put(h.trailer);
  progress.ProgressComplete();
  return out;
}

// One run of the engine as the window runs it, with a stop source of its own.
RunResult Encrypt(RecordingReporter& r, const EncryptJob& job, RandomSource& random) {
  r.BeginRun();
  return r.RunEngine([&](RunContext& context) { return EncryptEngine(job, context, random); });
}

class EncryptEngineTest : public ::testing::Test {
 protected:

  EncryptJob Job(const std::string& key = "key") {
    EncryptJob job;
    job.key = key;
    job.source_path = dir_.File("src.doc");
    job.target_path = dir_.File("out.jmz");
    job.original_ext = ".doc";
    return job;
  }
  RunResult Run(const EncryptJob& job, std::vector<uint8_t> draws) {
    ScriptedRandom random(std::move(draws));
    return Encrypt(r_, job, random);
  }
  bool TargetExists() { return PathExists(dir_.File("out.jmz")); }

  TempDir dir_;
  RecordingReporter r_;
};

TEST_F(EncryptEngineTest, MatchesTheUnitByUnitContainerAndProgressForEveryVersion) {
  // answers: none for 33; Yes/No gives 18; Yes/Yes gives 11
  struct Case {
    uint8_t version;
    std::vector<bool> answers;
  };
  const std::vector<Case> cases = {{33, {}}, {18, {true, false}}, {11, {true, true}}};
  for (const Case& c : cases) {
    for (int64_t size : {1, 3, 4, 7, 259, 260, 261, 1023, 1024, 1027, 5000, 70001}) {
      for (uint8_t r2 : {0, 3, 40, 131, 254}) {
        SCOPED_TRACE(::testing::Message() << "V=" << int(c.version) << " S=" << size << " r2=" << int(r2));
        const std::string payload = testing::RandomBytes(static_cast<std::size_t>(size), static_cast<uint32_t>(size));
        WriteFile(dir_.File("src.doc"), payload);
        std::filesystem::remove(dir_.File("out.jmz"));
        RecordingReporter r;
        for (bool a : c.answers) r.QueueAnswers({a});
        EncryptJob job = Job("k3y");
        job.info_click_count = c.answers.empty() ? 7 : 8;
        job.layer_number = 3;
        ScriptedRandom random(Draws(9, r2));
        const RunResult result = Encrypt(r, job, random);
        ASSERT_TRUE(r.messages.empty()) << r.messages.front();

        ContainerParams params{"k3y", 0, 3, c.version, ".doc", size};
        ScriptedRandom again(Draws(9, r2));
        RecordingReporter expected;
        const std::string want = ReferenceContainer(BuildHeader(params, again), payload, expected);
        ASSERT_EQ(ReadFile(dir_.File("out.jmz")), want);
        EXPECT_EQ(r.bar_positions, expected.bar_positions);
        EXPECT_EQ(r.Status(), "加密文件 ... 已完成。");
        EXPECT_EQ(result.outcome, Outcome::kDone);
        EXPECT_EQ(result.written, std::vector<std::string>{dir_.File("out.jmz")});
      }
    }
  }
}

TEST_F(EncryptEngineTest, SmallestContainerHasFiftyBytesWithTheHeaderFirst) {
  WriteFile(dir_.File("src.doc"), "x");
  EncryptJob job = Job("k");
  job.original_ext = "";
  Run(job, Draws(11, 9));
  const std::string c = ReadFile(dir_.File("out.jmz"));
  ASSERT_EQ(c.size(), 50u);
  const auto prefix = ParseHeaderPrefix(std::span(reinterpret_cast<const uint8_t*>(c.data()), 12));
  EXPECT_TRUE(prefix.marker_ok);
  EXPECT_EQ(prefix.key_length, 1);
}

TEST_F(EncryptEngineTest, TheContainerIsAsPrivateAsItsSource) {
  // Anyone who can read a container can recover its key: it gets the bits
  // of its source, whatever the umask, and those of the chosen file when the
  // source is a temporary compressed copy.
  for (const mode_t mode : {0600, 0640, 0604, 0755}) {
    SCOPED_TRACE(mode);
    WriteFile(dir_.File("src.doc"), "private words");
    ASSERT_EQ(::chmod(dir_.File("src.doc").c_str(), mode), 0);
    std::filesystem::remove(dir_.File("out.jmz"));
    Run(Job(), Draws(9, 1));
    ASSERT_TRUE(TargetExists());
    struct stat st {};
    ASSERT_EQ(::stat(dir_.File("out.jmz").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, mode);
  }
  WriteFile(dir_.File("copy.zak"), "compressed words");  // mode 0600 below
  ASSERT_EQ(::chmod(dir_.File("copy.zak").c_str(), 0600), 0);
  EncryptJob job = Job();
  job.source_path = dir_.File("copy.zak");
  job.pre_zip_level = 2;
  job.target_mode = 0640;
  std::filesystem::remove(dir_.File("out.jmz"));
  Run(job, Draws(9, 1));
  struct stat st {};
  ASSERT_EQ(::stat(dir_.File("out.jmz").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(EncryptEngineTest, AlgorithmQuestionsOnlyAfterSevenInformationUses) {
  WriteFile(dir_.File("src.doc"), "abcdefgh");
  EncryptJob job = Job();
  job.info_click_count = 7;
  Run(job, Draws(9, 1));
  EXPECT_TRUE(r_.questions.empty());
  std::filesystem::remove(dir_.File("out.jmz"));
  job.info_click_count = 8;
  r_.QueueAnswers({false});
  Run(job, Draws(9, 1));
  ASSERT_EQ(r_.questions.size(), 1u);
  EXPECT_EQ(r_.questions[0].first, "是否使用旧的加密算法进行加密?");
  EXPECT_EQ(r_.questions[0].second, "加密算法");
  const std::string c = ReadFile(dir_.File("out.jmz"));
  EXPECT_EQ(ParseHeaderPrefix(std::span(reinterpret_cast<const uint8_t*>(c.data()), 12)).version, 33);
}

TEST_F(EncryptEngineTest, RefusalsLeaveNoTargetAndDeleteTheTemporaryCopy) {
  // Empty key: the temporary compressed copy is removed all the same.
  WriteFile(dir_.File("tmp.zak"), "zz");
  EncryptJob job = Job("");
  job.source_path = dir_.File("tmp.zak");
  job.pre_zip_level = 2;
  EXPECT_EQ(Run(job, {}).code, Reason::kNoKey);
  EXPECT_EQ(r_.messages.back(), "密钥不能为空！请输入加密的密钥。加密文件已取消。");
  EXPECT_FALSE(PathExists(dir_.File("tmp.zak")));

  EXPECT_EQ(Run(Job(), Draws(9, 1)).code, Reason::kNoSource);
  EXPECT_EQ(r_.messages.back(), "要加密的文件:“" + dir_.File("src.doc") + "”不存在!加密文件已取消。");

  WriteFile(dir_.File("src.doc"), "");
  EXPECT_EQ(Run(Job(), Draws(9, 1)).outcome, Outcome::kRefused);
  EXPECT_EQ(r_.messages.back(), "文件是空的!不需要加密。加密文件已取消。");
  EXPECT_FALSE(TargetExists());
}

TEST_F(EncryptEngineTest, FourGibIsTheLargestSourceAccepted) {
  const std::string big = dir_.File("src.doc");
  int fd = ::open(big.c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_EQ(::ftruncate(fd, kMaxPayloadSize + 1), 0);
  EXPECT_EQ(Run(Job(), Draws(9, 1)).code, Reason::kUnsupported);
  EXPECT_EQ(r_.messages.back(), "不能加密大于4GB的文件!加密文件已取消。");
  ASSERT_EQ(::ftruncate(fd, kMaxPayloadSize), 0);
  ::close(fd);
  // Exactly 4 GiB is taken: cancel at the first bar move and check the
  // bar ran in percent and the partial container is gone.
  r_.messages.clear();
  r_.on_bar_position = [this](int64_t) { r_.RequestRunStop(); };
  EXPECT_EQ(Run(Job(), Draws(9, 1)).outcome, Outcome::kCancelled);
  EXPECT_TRUE(r_.messages.empty());
  EXPECT_EQ(r_.bar_ranges.back(), 100);
  EXPECT_FALSE(TargetExists());
}

TEST_F(EncryptEngineTest, CancelMidRunLeavesTheOldTargetAndDeletesTheCopySilently) {
  WriteFile(dir_.File("big.zak"), std::string(3 << 20, 'q'));
  WriteFile(dir_.File("out.jmz"), "the old container");
  EncryptJob job = Job();
  job.source_path = dir_.File("big.zak");
  job.pre_zip_level = 1;
  r_.on_bar_position = [this](int64_t pos) {
    if (pos > (1 << 20)) r_.RequestRunStop();
  };
  const RunResult result = Run(job, Draws(9, 1));
  EXPECT_TRUE(r_.messages.empty());
  EXPECT_EQ(ReadFile(dir_.File("out.jmz")), "the old container");
  EXPECT_EQ(FolderEntries(dir_.path()), std::vector<std::string>{"out.jmz"});  // no copy, no staging file
  EXPECT_EQ(result.code, Reason::kCancelled);
}

TEST_F(EncryptEngineTest, TargetThatCannotBeReplacedIsReportedBeforeWriting) {
  WriteFile(dir_.File("src.doc"), "content");
  std::filesystem::create_directories(dir_.File("out.jmz") + "/busy");
  Run(Job(), Draws(9, 1));
  EXPECT_EQ(r_.messages.back(),
            "替换删除文件“" + dir_.File("out.jmz") + "”失败！文件正在使用中或者有只读属性等。加密文件已取消。");
  EXPECT_TRUE(std::filesystem::is_directory(dir_.File("out.jmz") + "/busy"));

  // The source itself as the target, by its name, a hard link or a symbolic
  // link: refused before anything is written.
  ASSERT_EQ(::link(dir_.File("src.doc").c_str(), dir_.File("hard.jmz").c_str()), 0);
  ASSERT_EQ(::symlink("src.doc", dir_.File("soft.jmz").c_str()), 0);
  for (const std::string& target : {dir_.File("src.doc"), dir_.File("hard.jmz"), dir_.File("soft.jmz")}) {
    SCOPED_TRACE(target);
    EncryptJob self = Job();
    self.target_path = target;
    r_.messages.clear();
    EXPECT_EQ(Run(self, Draws(9, 1)).code, Reason::kTargetKept);
    EXPECT_EQ(r_.messages, std::vector<std::string>{"替换删除文件“" + target +
                                                    "”失败！文件正在使用中或者有只读属性等。加密文件已取消。"});
    EXPECT_EQ(ReadFile(dir_.File("src.doc")), "content");
    EXPECT_EQ(ReadFile(target), "content");
  }
  EXPECT_EQ(FolderEntries(dir_.path()), (std::vector<std::string>{"hard.jmz", "out.jmz", "soft.jmz", "src.doc"}));
}

TEST_F(EncryptEngineTest, AFileThatAppearsAfterTheNameWasFoundFreeIsKept) {
  WriteFile(dir_.File("src.doc"), std::string(5000, 'a'));
  EncryptJob job = Job();
  job.replace_target = false;
  job.faults.before_write = testing::faults::AtByte(0, [this] { WriteFile(dir_.File("out.jmz"), "someone else's"); });
  EXPECT_EQ(Run(job, Draws(9, 1)).outcome, Outcome::kRefused);
  EXPECT_EQ(r_.messages, std::vector<std::string>{"替换删除文件“" + dir_.File("out.jmz") +
                                                  "”失败！文件正在使用中或者有只读属性等。加密文件已取消。"});
  EXPECT_EQ(ReadFile(dir_.File("out.jmz")), "someone else's");
  EXPECT_EQ(FolderEntries(dir_.path()), (std::vector<std::string>{"out.jmz", "src.doc"}));

  // Told to replace, the engine replaces; the container gets the bits of
  // its source, not the umask's, and no wider than the file it replaces.
  ::chmod(dir_.File("out.jmz").c_str(), 0600);
  ::chmod(dir_.File("src.doc").c_str(), 0644);
  const mode_t old_mask = ::umask(027);
  job.faults.before_write = nullptr;
  job.replace_target = true;
  Run(job, Draws(9, 1));
  ::umask(old_mask);
  EXPECT_EQ(r_.Status(), "加密文件 ... 已完成。");
  EXPECT_EQ(std::filesystem::file_size(dir_.File("out.jmz")), 5000u + 4 + 12 + 37);
  struct stat st {};
  ASSERT_EQ(::stat(dir_.File("out.jmz").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST_F(EncryptEngineTest, WriteOrFlushFailureLeavesTheOldTargetAndStopsEverything) {
  WriteFile(dir_.File("src.doc"), std::string(5000, 'w'));
  const int64_t length = 5000 + 4 + 12 + 37;
  // A payload write, exactly the 16-byte trailer, and the final flush.
  for (int64_t failing : {int64_t{2000}, length - 16, length}) {
    SCOPED_TRACE(failing);
    WriteFile(dir_.File("out.jmz"), "the old container");
    RecordingReporter r;
    EncryptJob job = Job();
    job.faults.before_write = testing::faults::FailWriteAt(failing);
    ScriptedRandom random(Draws(9, 1));
    const RunResult result = Encrypt(r, job, random);
    EXPECT_EQ(r.messages, std::vector<std::string>{"加密文件出错!已停止。"});
    EXPECT_EQ(result.outcome, Outcome::kFailed);
    EXPECT_EQ(result.code, Reason::kIo);
    EXPECT_NE(r.Status(), "加密文件 ... 已完成。");
    EXPECT_EQ(ReadFile(dir_.File("out.jmz")), "the old container");
    EXPECT_EQ(FolderEntries(dir_.path()), (std::vector<std::string>{"out.jmz", "src.doc"}));
  }
}

TEST_F(EncryptEngineTest, ASourceThatFailsOrEndsWhileItIsReadFailsTheRun) {
  WriteFile(dir_.File("src.doc"), std::string(5000, 'r'));
  // In the lead-in before a split header, in the payload, and its last byte.
  const std::vector<ReadHook> faults = {testing::faults::FailReadAt(100, EIO), testing::faults::FailReadAt(3000, EIO),
                                        testing::faults::EndAt(4999)};
  for (const ReadHook& fault : faults) {
    WriteFile(dir_.File("out.jmz"), "the old container");
    RecordingReporter r;
    EncryptJob job = Job();
    job.faults.before_read = fault;
    ScriptedRandom random(Draws(9, 1));
    EXPECT_EQ(Encrypt(r, job, random).outcome, Outcome::kFailed);
    EXPECT_EQ(r.messages, std::vector<std::string>{"加密文件出错!已停止。"});
    EXPECT_EQ(ReadFile(dir_.File("out.jmz")), "the old container");
    EXPECT_EQ(FolderEntries(dir_.path()), (std::vector<std::string>{"out.jmz", "src.doc"}));
  }
}

TEST_F(EncryptEngineTest, RealDiskFullExactlyAtTheTrailerFailsTheRun) {
  testing::SmallDisk disk(256 << 10);
  if (!disk.Ready()) GTEST_SKIP() << "cannot mount a small tmpfs here";
  // 262,099 bytes of payload: the trailer starts 8 bytes before the disk's
  // last byte, so half of it does not fit.
  const int64_t size = (256 << 10) - 8 - 37;
  WriteFile(dir_.File("src.doc"), testing::RandomBytes(static_cast<std::size_t>(size), 3));
  EncryptJob job = Job();
  job.target_path = disk.File("out.jmz");
  EXPECT_EQ(Run(job, Draws(9, 1)).code, Reason::kNoSpace);
  EXPECT_EQ(r_.messages, std::vector<std::string>{"加密文件出错!已停止。"});
  EXPECT_TRUE(FolderEntries(disk.path()).empty());

  // A full disk with the old container on it: the old one stays whole.
  WriteFile(disk.File("out.jmz"), "the old container");
  disk.Fill("filler");
  r_.messages.clear();
  EXPECT_EQ(Run(job, Draws(9, 1)).code, Reason::kNoSpace);
  EXPECT_EQ(r_.messages, std::vector<std::string>{"加密文件出错!已停止。"});
  EXPECT_EQ(ReadFile(disk.File("out.jmz")), "the old container");
  EXPECT_EQ(FolderEntries(disk.path()), (std::vector<std::string>{"filler", "out.jmz"}));
}

}  // namespace
}  // namespace vesk::keyed
