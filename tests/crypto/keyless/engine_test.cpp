#include "crypto/keyless/engine.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "crypto/keyless/cipher.h"
#include "platform/file_io.h"
#include "platform/staged_file.h"
#include "support/disk.h"
#include "support/faults.h"
#include "support/recording_reporter.h"
#include "support/temp_dir.h"

namespace vesk::keyless {
namespace {

using Bytes = std::vector<uint8_t>;
using testing::FolderEntries;
using testing::ReadFile;
using testing::WriteFile;

constexpr RandomBlock kR = {0x10, 0x21, 0x32, 0x43, 0x54, 0x65, 0x76, 0x87, 0x98, 0xA9, 0xBA, 0xCB};

class FixedRandom : public RandomSource {
 public:
  void Fill(uint8_t* out, std::size_t n) override {
    for (std::size_t i = 0; i < n; ++i) out[i] = kR[i % kR.size()];
  }
};

Bytes ToBytes(std::string_view s) { return Bytes(s.begin(), s.end()); }
std::string ToString(const Bytes& b) { return std::string(b.begin(), b.end()); }

void MakeSparse(const std::string& path, int64_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, size), 0);
  ::close(fd);
}

class KeylessEngine : public ::testing::Test {
 protected:
  KeylessJob Job(std::string key, const std::string& source, const std::string& target, uint8_t clicks = 0) {
    KeylessJob job;
    job.key = std::move(key);
    job.source_path = source;
    job.target_path = target;
    job.info_click_count = clicks;
    return job;
  }
  // Each run with a stop of its own, which a test may request meanwhile.
  RunResult Encrypt(const KeylessJob& job) {
    stop = StopSource();
    RunContext context{rep, rep, stop.Token()};
    return last = EncryptKeyless(job, context, random);
  }
  RunResult Decrypt(const KeylessJob& job) {
    stop = StopSource();
    RunContext context{rep, rep, stop.Token()};
    return last = DecryptKeyless(job, context);
  }
  std::string Plain() const { return dir.File("plain.bin"); }
  std::string Sealed() const { return dir.File("plain.bin.jmz"); }
  std::string Opened() const { return dir.File("opened.bin"); }

  testing::TempDir dir;
  testing::RecordingReporter rep;
  FixedRandom random;
  StopSource stop;
  RunResult last;
};

TEST_F(KeylessEngine, OneByteFileRoundTrips) {
  WriteFile(Plain(), "\x5A");
  Encrypt(Job("A", Plain(), Sealed()));
  EXPECT_EQ(ReadFile(Sealed()), ToString(EncryptToContainer(Bytes{0x5A}, "A", Version::kCurrent, kR)));
  EXPECT_EQ(ReadFile(Sealed()).size(), 39u);
  EXPECT_EQ(rep.Status(), text::kEncryptDone);
  EXPECT_TRUE(rep.messages.empty());
  EXPECT_TRUE(rep.questions.empty());
  EXPECT_EQ(last.outcome, Outcome::kDone);
  EXPECT_EQ(last.written, std::vector<std::string>{Sealed()});

  Decrypt(Job("A", Sealed(), Opened()));
  EXPECT_EQ(ReadFile(Opened()), "\x5A");
  EXPECT_EQ(rep.Status(), text::kDecryptDone);
  EXPECT_EQ(last.written, std::vector<std::string>{Opened()});

  // The oldest version has no header bytes: 37 bytes.
  rep.QueueAnswers({true, true});
  Encrypt(Job("A", Plain(), dir.File("old.jmz"), 8));
  EXPECT_EQ(ReadFile(dir.File("old.jmz")).size(), 37u);
  Decrypt(Job("A", dir.File("old.jmz"), dir.File("old.out")));
  EXPECT_EQ(ReadFile(dir.File("old.out")), "\x5A");
}

TEST_F(KeylessEngine, AlgorithmQuestionsChooseTheVersion) {
  // Crosses the stream buffer and ends in a tail.
  const std::string plain = testing::RandomBytes(2 * kStreamBufferSize + 7, 11);
  WriteFile(Plain(), plain);
  const std::string key = "long key of more than twelve bytes";
  struct Case {
    uint8_t clicks;
    std::vector<bool> answers;
    Version version;
    std::size_t questions;
  };
  for (const Case& c : {Case{7, {true, true}, Version::kCurrent, 0}, Case{8, {false}, Version::kCurrent, 1},
                        Case{8, {true, false}, Version::kOld, 2}, Case{12, {true, true}, Version::kOlder, 2}}) {
    SCOPED_TRACE(::testing::Message() << "clicks " << int(c.clicks) << " version " << int(c.version));
    testing::RecordingReporter fresh;
    for (bool a : c.answers) fresh.QueueAnswers({a});
    std::string name = std::to_string(int(c.version));
    name.append("-").append(std::to_string(c.clicks));
    const std::string sealed = dir.File(name);
    RunContext context{fresh, fresh, {}};
    EncryptKeyless(Job(key, Plain(), sealed, c.clicks), context, random);
    EXPECT_EQ(fresh.Status(), text::kEncryptDone);
    ASSERT_EQ(fresh.questions.size(), c.questions);
    if (c.questions > 0) {
      EXPECT_EQ(fresh.questions[0], std::make_pair(std::string(text::kOldQuestion), std::string(text::kAlgorithmCaption)));
    }
    if (c.questions > 1) {
      EXPECT_EQ(fresh.questions[1], std::make_pair(std::string(text::kOlderQuestion), std::string(text::kAlgorithmCaption)));
    }
    const std::string sealed_bytes = ReadFile(sealed);
    ASSERT_EQ(sealed_bytes, ToString(EncryptToContainer(ToBytes(plain), key, c.version, kR)));

    DecryptKeyless(Job(key, sealed, sealed + ".out"), context);
    EXPECT_EQ(fresh.Status(), text::kDecryptDone);
    EXPECT_EQ(ReadFile(sealed + ".out"), plain);
  }
}

// The bar positions a word-by-word run would produce.
std::vector<int64_t> WordByWordBar(int64_t total, int64_t first_position, int64_t words) {
  testing::RecordingReporter model;
  model.ProgressStart(total);
  for (int64_t i = 0; i < words; ++i) model.ProgressStep(first_position + 4 * (i + 1), 4);
  return model.bar_positions;
}

TEST_F(KeylessEngine, ProgressMatchesWordByWordSteps) {
  const int64_t n = static_cast<int64_t>(kStreamBufferSize) + 4097;
  WriteFile(Plain(), testing::RandomBytes(static_cast<std::size_t>(n), 12));
  Encrypt(Job("key", Plain(), Sealed()));
  EXPECT_EQ(rep.bar_ranges, (std::vector<int64_t>{n}));
  EXPECT_EQ(rep.bar_positions, WordByWordBar(n, 0, n / 4));
  EXPECT_GT(rep.bar_positions.size(), 90u);

  testing::RecordingReporter dec;
  RunContext context{dec, dec, {}};
  DecryptKeyless(Job("key", Sealed(), Opened()), context);
  EXPECT_EQ(dec.bar_positions, WordByWordBar(n, 18, n / 4));
}

TEST_F(KeylessEngine, WrongKeyCompletesWithWrongBytes) {
  const std::string plain = testing::RandomBytes(5000, 13);
  WriteFile(Plain(), plain);
  Encrypt(Job("right", Plain(), Sealed()));
  Decrypt(Job("wrong", Sealed(), Opened()));
  EXPECT_EQ(rep.Status(), text::kDecryptDone);
  EXPECT_TRUE(rep.messages.empty());
  const std::string out = ReadFile(Opened());
  EXPECT_EQ(out.size(), plain.size());
  EXPECT_NE(out, plain);
}

TEST_F(KeylessEngine, CancelDuringThePayloadLeavesNoFile) {
  WriteFile(Plain(), testing::RandomBytes(3 * kStreamBufferSize, 14));
  rep.on_bar_position = [this](int64_t) { stop.RequestStop(); };
  Encrypt(Job("key", Plain(), Sealed()));
  EXPECT_FALSE(PathExists(Sealed()));
  EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"plain.bin"});
  EXPECT_EQ(rep.Status(), text::kEncryptCancelled);
  EXPECT_TRUE(rep.messages.empty());
  EXPECT_EQ(last.outcome, Outcome::kCancelled);

  rep.on_bar_position = nullptr;
  Encrypt(Job("key", Plain(), Sealed()));
  ASSERT_EQ(rep.Status(), text::kEncryptDone);
  rep.on_bar_position = [this](int64_t) { stop.RequestStop(); };
  WriteFile(Opened(), "old output");
  Decrypt(Job("key", Sealed(), Opened()));
  EXPECT_EQ(ReadFile(Opened()), "old output");
  EXPECT_EQ(rep.Status(), text::kDecryptCancelled);
  EXPECT_EQ(FolderEntries(dir.path()), (std::vector<std::string>{"opened.bin", "plain.bin", "plain.bin.jmz"}));
  EXPECT_EQ(last.outcome, Outcome::kCancelled);
}

TEST_F(KeylessEngine, CancelDuringTheQuestionEndsSilently) {
  WriteFile(Plain(), "some data");
  rep.on_question = [this](const std::string&) { stop.RequestStop(); };
  Encrypt(Job("key", Plain(), Sealed(), 8));
  EXPECT_FALSE(PathExists(Sealed()));
  EXPECT_TRUE(rep.statuses.empty());  // the cancel has said what happened
  EXPECT_EQ(last.outcome, Outcome::kCancelled);
}

TEST_F(KeylessEngine, EncryptionRefusals) {
  Encrypt(Job("", Plain(), Sealed()));
  EXPECT_EQ(last.code, Reason::kNoKey);
  EXPECT_TRUE(rep.statuses.empty());
  EXPECT_TRUE(rep.messages.empty());

  Encrypt(Job("k", Plain(), Sealed()));
  EXPECT_EQ(rep.messages.back(), "要加密的文件:“" + Plain() + "”不存在!加密文件已取消。");

  WriteFile(Plain(), "");
  Encrypt(Job("k", Plain(), Sealed()));
  EXPECT_EQ(rep.messages.back(), "文件是空的!不需要加密。加密文件已取消。");

  MakeSparse(Plain(), (int64_t{1} << 32) + 1);
  Encrypt(Job("k", Plain(), Sealed()));
  EXPECT_EQ(rep.messages.back(), "不能加密大于4GB的文件!加密文件已取消。");
  EXPECT_FALSE(PathExists(Sealed()));
  EXPECT_EQ(last.outcome, Outcome::kRefused);
}

TEST_F(KeylessEngine, DecryptionRefusals) {
  Decrypt(Job("k", Sealed(), Opened()));
  EXPECT_EQ(rep.messages.back(), "要解密的文件:“" + Sealed() + "”不存在!解密文件已取消。");

  WriteFile(Sealed(), "");
  Decrypt(Job("k", Sealed(), Opened()));
  EXPECT_EQ(rep.messages.back(), "文件是空的!不需要解密。解密文件已取消。");

  // The container of a 4 GiB file is accepted (it then fails the marker
  // test here); one byte more is refused by size.
  MakeSparse(Sealed(), (int64_t{1} << 32) + 38);
  Decrypt(Job("k", Sealed(), Opened()));
  EXPECT_EQ(rep.messages.back(), "文件不是本软件(不保存密钥)加密的，解密已取消。");
  MakeSparse(Sealed(), (int64_t{1} << 32) + 39);
  Decrypt(Job("k", Sealed(), Opened()));
  EXPECT_EQ(rep.messages.back(), "不能解密大于4GB的文件!解密文件已取消。");

  // A keyed-style container: its own marker at the end, no key-less marker.
  std::string keyed = testing::RandomBytes(200, 15);
  keyed.replace(0, 4, ".jmz");
  WriteFile(Sealed(), keyed);
  Decrypt(Job("k", Sealed(), Opened()));
  EXPECT_EQ(rep.messages.back(), text::kNotKeyless);
  EXPECT_FALSE(PathExists(Opened()));
  EXPECT_EQ(last.outcome, Outcome::kRefused);
  EXPECT_EQ(last.reason, text::kNotKeyless);
}

TEST_F(KeylessEngine, ContainerWithoutPayloadIsRefusedAndKeepsAnExistingFile) {
  for (Version v : {Version::kOlder, Version::kCurrent}) {
    Bytes c = EncryptToContainer(Bytes{7}, "k", v, kR);
    c.pop_back();  // 36 or 38 bytes: the marker holds, the payload would be empty
    WriteFile(Sealed(), ToString(c));
    WriteFile(Opened(), "keep me");
    Decrypt(Job("k", Sealed(), Opened()));
    EXPECT_EQ(rep.messages.back(), "文件(加密内容)计算大小数据(出错)小于1字节！不能解密。");
    EXPECT_EQ(rep.Status(), text::kDecryptCancelled);
    EXPECT_EQ(last.outcome, Outcome::kRefused);
    EXPECT_EQ(ReadFile(Opened()), "keep me");
  }
}

TEST_F(KeylessEngine, NewerVersionsAskBeforeDecrypting) {
  const std::string plain = testing::RandomBytes(999, 16);
  Bytes c = EncryptToContainer(ToBytes(plain), "key", Version::kCurrent, kR);
  auto with_version = [&](uint8_t v) {
    c[1] = v ^ kR[8] ^ kR[10];
    WriteFile(Sealed(), ToString(c));
  };
  with_version(36);
  rep.QueueAnswers({false});
  Decrypt(Job("key", Sealed(), Opened()));
  ASSERT_EQ(rep.questions.size(), 1u);
  EXPECT_EQ(rep.questions[0].first, "文件是由本软件的更高版本的加密算法加密的,是否尝试解密?");
  EXPECT_EQ(rep.questions[0].second, "尝试解密");
  EXPECT_FALSE(PathExists(Opened()));
  EXPECT_TRUE(rep.statuses.empty());
  EXPECT_FALSE(last.Completed());

  rep.QueueAnswers({true});
  Decrypt(Job("key", Sealed(), Opened()));
  EXPECT_EQ(rep.Status(), text::kDecryptDone);
  EXPECT_EQ(ToBytes(ReadFile(Opened())), DecryptContainer(c, "key")->plain);

  with_version(35);  // the newer variant, but no question
  Decrypt(Job("key", Sealed(), dir.File("v35")));
  EXPECT_EQ(rep.questions.size(), 2u);
  EXPECT_EQ(ReadFile(dir.File("v35")), ReadFile(Opened()));

  with_version(33);  // taken as 30
  Decrypt(Job("key", Sealed(), dir.File("v33")));
  EXPECT_EQ(ReadFile(dir.File("v33")), plain);
}

TEST_F(KeylessEngine, WriteOrFlushFailuresLeaveTheOldTargetAndNoFileBehind) {
  WriteFile(Plain(), testing::RandomBytes(100, 17));
  // The payload, exactly the trailer, and the final flush of the container.
  for (int64_t failing : {int64_t{18}, int64_t{118}, int64_t{138}}) {
    SCOPED_TRACE(failing);
    WriteFile(Sealed(), "old container");
    KeylessJob job = Job("key", Plain(), Sealed());
    job.faults.before_write = testing::faults::FailWriteAt(failing);
    Encrypt(job);
    EXPECT_EQ(ReadFile(Sealed()), "old container");
    EXPECT_EQ(rep.messages.back(), "加密文件“" + Plain() + "”出错!已停止。");
    EXPECT_EQ(last.outcome, Outcome::kFailed);
    EXPECT_EQ(FolderEntries(dir.path()), (std::vector<std::string>{"plain.bin", "plain.bin.jmz"}));
  }

  DeleteFile(Sealed());
  Encrypt(Job("key", Plain(), Sealed()));
  ASSERT_EQ(rep.Status(), text::kEncryptDone);
  for (int64_t failing : {int64_t{0}, int64_t{100}}) {
    SCOPED_TRACE(failing);
    WriteFile(Opened(), "old output");
    KeylessJob job = Job("key", Sealed(), Opened());
    job.faults.before_write = testing::faults::FailWriteAt(failing);
    Decrypt(job);
    EXPECT_EQ(ReadFile(Opened()), "old output");
    EXPECT_EQ(rep.messages.back(), "解密文件“" + Sealed() + "”出错!已停止。");
    EXPECT_EQ(last.outcome, Outcome::kFailed);
    EXPECT_EQ(FolderEntries(dir.path()), (std::vector<std::string>{"opened.bin", "plain.bin", "plain.bin.jmz"}));
  }
}

TEST_F(KeylessEngine, ASourceThatFailsOrEndsWhileItIsReadFailsTheRun) {
  WriteFile(Plain(), testing::RandomBytes(100, 18));
  Encrypt(Job("key", Plain(), Sealed()));
  ASSERT_EQ(rep.Status(), text::kEncryptDone);
  for (const ReadHook& fault : {testing::faults::FailReadAt(50, EIO), testing::faults::EndAt(99)}) {
    WriteFile(dir.File("old.jmz"), "old container");
    KeylessJob job = Job("key", Plain(), dir.File("old.jmz"));
    job.faults.before_read = fault;
    Encrypt(job);
    EXPECT_EQ(rep.messages.back(), "加密文件“" + Plain() + "”出错!已停止。");
    EXPECT_EQ(ReadFile(dir.File("old.jmz")), "old container");

    WriteFile(Opened(), "old output");
    job = Job("key", Sealed(), Opened());
    job.faults.before_read = fault;
    Decrypt(job);
    EXPECT_EQ(rep.messages.back(), "解密文件“" + Sealed() + "”出错!已停止。");
    EXPECT_EQ(ReadFile(Opened()), "old output");
    EXPECT_EQ(FolderEntries(dir.path()), (std::vector<std::string>{"old.jmz", "opened.bin", "plain.bin", "plain.bin.jmz"}));
  }
}

TEST_F(KeylessEngine, RealDiskFullFailsTheRunAndKeepsTheOldFile) {
  testing::SmallDisk disk(256 << 10);
  if (!disk.Ready()) GTEST_SKIP() << "cannot mount a small tmpfs here";
  // 262,118 bytes: the trailer starts 8 bytes before the end of the disk.
  const std::string plain = testing::RandomBytes((256 << 10) - 26, 30);
  WriteFile(Plain(), plain);
  Encrypt(Job("key", Plain(), disk.File("sealed.jmz")));
  EXPECT_EQ(rep.messages.back(), "加密文件“" + Plain() + "”出错!已停止。");
  EXPECT_TRUE(FolderEntries(disk.path()).empty());

  Encrypt(Job("key", Plain(), Sealed()));
  ASSERT_EQ(rep.Status(), text::kEncryptDone);
  WriteFile(disk.File("opened.bin"), "old output");
  disk.Fill("filler");
  Decrypt(Job("key", Sealed(), disk.File("opened.bin")));
  EXPECT_EQ(rep.messages.back(), "解密文件“" + Sealed() + "”出错!已停止。");
  EXPECT_EQ(ReadFile(disk.File("opened.bin")), "old output");
  EXPECT_EQ(FolderEntries(disk.path()), (std::vector<std::string>{"filler", "opened.bin"}));
}

TEST_F(KeylessEngine, OutputsTakeTheirModesAndReplaceOnlyWhatTheyMay) {
  WriteFile(Plain(), "private data");
  ASSERT_EQ(::chmod(Plain().c_str(), 0600), 0);
  const mode_t old_mask = ::umask(022);
  Encrypt(Job("key", Plain(), Sealed()));
  ::umask(old_mask);
  struct stat st {};
  ASSERT_EQ(::stat(Sealed().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);  // as private as its source, whatever the umask
  {
    testing::TempDir other;
    WriteFile(other.File("shared.bin"), "shared data");
    ASSERT_EQ(::chmod(other.File("shared.bin").c_str(), 0664), 0);
    Encrypt(Job("key", other.File("shared.bin"), other.File("shared.bin.jmz")));
    ASSERT_EQ(::stat(other.File("shared.bin.jmz").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0664u);
  }

  // Decrypted, the file is as private as its container.
  ASSERT_EQ(::chmod(Sealed().c_str(), 0600), 0);
  Decrypt(Job("key", Sealed(), Opened()));
  ASSERT_EQ(::stat(Opened().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(ReadFile(Opened()), "private data");

  // A file that appears after the command found the name free is kept.
  DeleteFile(Opened());
  KeylessJob job = Job("key", Sealed(), Opened());
  job.replace_target = false;
  job.faults.before_write = testing::faults::AtByte(0, [this] { WriteFile(Opened(), "someone else's"); });
  Decrypt(job);
  EXPECT_EQ(rep.messages.back(), text::DecryptReplaceFailed(Opened()));
  EXPECT_EQ(ReadFile(Opened()), "someone else's");
  EXPECT_EQ(last.outcome, Outcome::kRefused);
  EXPECT_EQ(FolderEntries(dir.path()), (std::vector<std::string>{"opened.bin", "plain.bin", "plain.bin.jmz"}));
}

TEST_F(KeylessEngine, TargetThatCannotBeCreatedOrReplaced) {
  WriteFile(Plain(), "data");
  const std::string nowhere = dir.File("missing-dir/out.jmz");
  Encrypt(Job("key", Plain(), nowhere));
  EXPECT_EQ(rep.messages.back(), "加密文件“" + Plain() + "”出错!已停止。");
  EXPECT_EQ(last.outcome, Outcome::kFailed);

  // A directory in the way cannot be deleted.
  const std::string busy = dir.File("busy");
  ASSERT_EQ(::mkdir(busy.c_str(), 0755), 0);
  WriteFile(busy + "/inside", "x");
  Encrypt(Job("key", Plain(), busy));
  EXPECT_EQ(rep.messages.back(), "替换删除文件“" + busy + "”失败！文件正在使用中或者有只读属性等。加密文件已取消。");
  EXPECT_EQ(last.outcome, Outcome::kRefused);

  // Replacing the source with its own output would lose it: by its name, a
  // hard link or a symbolic link.
  ASSERT_EQ(::link(Plain().c_str(), dir.File("hard").c_str()), 0);
  ASSERT_EQ(::symlink("plain.bin", dir.File("soft").c_str()), 0);
  for (const std::string& target : {Plain(), dir.File("hard"), dir.File("soft")}) {
    Encrypt(Job("key", Plain(), target));
    EXPECT_EQ(rep.messages.back(), text::EncryptReplaceFailed(target));
    EXPECT_EQ(ReadFile(Plain()), "data");
  }
  DeleteFile(dir.File("hard"));
  DeleteFile(dir.File("soft"));

  Encrypt(Job("key", Plain(), Sealed()));
  Decrypt(Job("key", Sealed(), Sealed()));
  EXPECT_EQ(rep.messages.back(), "替换删除文件“" + Sealed() + "”失败！文件正在使用中或者有只读属性等。解密文件已取消。");
  EXPECT_EQ(ReadFile(Sealed()).size(), 4u + 38u);

  // An ordinary existing target is replaced.
  WriteFile(Opened(), "old contents, longer than the new");
  Decrypt(Job("key", Sealed(), Opened()));
  EXPECT_EQ(ReadFile(Opened()), "data");
}

}  // namespace
}  // namespace vesk::keyless
