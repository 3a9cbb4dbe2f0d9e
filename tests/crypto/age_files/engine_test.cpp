// The age file engines with a recording reporter: what reaches the disk
// (complete outputs only, with the source's permission bits), what the user
// is told, and how each run ends, for passphrases, identity files, damage,
// cancels and failing disks.
#include <sys/stat.h>

#include <filesystem>
#include <gtest/gtest.h>

#include "crypto/age_files/engine.h"
#include "crypto/age_files/key_files.h"
#include "support/recording_reporter.h"
#include "support/disk.h"
#include "support/temp_dir.h"

namespace vesk::age_files {
namespace {

using vesk::testing::ReadFile;
using vesk::testing::RecordingReporter;
using vesk::testing::TempDir;
using vesk::testing::WriteFile;

constexpr std::size_t kChunk = 64 * 1024;
constexpr std::size_t kSealed = kChunk + 16;

std::size_t FilesIn(const std::string& dir) {
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// Where the payload (its nonce) starts: after the MAC line.
std::size_t PayloadStart(const std::string& file) {
  const std::size_t mac = file.find("\n--- ");
  return file.find('\n', mac + 1) + 1;
}

bool StartsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

class AgeEngine : public ::testing::Test {
 protected:
  // Runs an encryption of `source` into `target` and returns how it ended.
  RunResult Encrypt(const std::string& source, const std::string& target, const std::string& passphrase,
                    std::vector<std::string> recipients = {}, bool armor = false) {
    EncryptJob job;
    job.source_path = source;
    job.target_path = target;
    job.passphrase = age::SecretBytes::FromString(passphrase);
    job.recipients = std::move(recipients);
    job.armor = armor;
    job.work_factor = 10;  // fast; the tool's own work factor is tested through vesk-cli
    job.threads = 2;
    encrypting_.BeginRun();
    encrypting_.RunEngine([&](RunContext& c) { return EncryptFile(job, c); });
    return encrypting_.Result();
  }
  RunResult Decrypt(const std::string& source, const std::string& target, const std::string& passphrase,
                    std::vector<std::string> identity_files = {}, int max_work_factor = 22) {
    DecryptJob job;
    job.source_path = source;
    job.target_path = target;
    job.passphrase = age::SecretBytes::FromString(passphrase);
    job.identity_files = std::move(identity_files);
    job.max_work_factor = max_work_factor;
    job.threads = 2;
    job.before_write = before_write_;
    decrypting_.BeginRun();
    decrypting_.RunEngine([&](RunContext& c) { return DecryptFile(job, c); });
    return decrypting_.Result();
  }
  // A new identity file in the test's folder; its public key.
  std::string NewIdentity(const std::string& name) {
    auto id = GenerateIdentity(std::time(nullptr));
    EXPECT_TRUE(id.has_value());
    WriteNewKeyFile(dir_.File(name), id->file_text);
    return id->public_key;
  }
  std::string LastMessage(const RecordingReporter& r) const { return r.messages.empty() ? "" : r.messages.back(); }

  TempDir dir_;
  RecordingReporter encrypting_, decrypting_;
  std::function<void(int64_t, std::size_t)> before_write_;
};

TEST_F(AgeEngine, PassphraseFilesRoundTripAtChunkBoundariesWithTheSourcesPermissions) {
  for (std::size_t size : {0u, 1u, 65535u, 65536u, 65537u, 131072u, 131073u}) {
    SCOPED_TRACE(size);
    const std::string plain = vesk::testing::RandomBytes(size, static_cast<uint32_t>(size) + 7);
    WriteFile(dir_.File("plain.bin"), plain);
    ::chmod(dir_.File("plain.bin").c_str(), 0640);
    std::filesystem::remove(dir_.File("plain.bin.age"));
    std::filesystem::remove(dir_.File("back.bin"));

    const RunResult enc = Encrypt(dir_.File("plain.bin"), dir_.File("plain.bin.age"), "correct horse 電池 staple");
    ASSERT_EQ(enc.outcome, Outcome::kDone) << enc.reason;
    EXPECT_EQ(enc.written, std::vector<std::string>{dir_.File("plain.bin.age")});
    EXPECT_EQ(encrypting_.Status(), "age 强加密文件 ... 已完成。");
    const std::string sealed = ReadFile(dir_.File("plain.bin.age"));
    ASSERT_TRUE(StartsWith(sealed, "age-encryption.org/v1\n-> scrypt "));
    // Header, nonce, one sealed chunk per 64 KiB begun (an empty file has one).
    const std::size_t chunks = size == 0 ? 1 : (size + kChunk - 1) / kChunk;
    EXPECT_EQ(sealed.size(), PayloadStart(sealed) + 16 + size + 16 * chunks);
    EXPECT_EQ(ModeOf(dir_.File("plain.bin.age")), 0640u);

    const RunResult dec = Decrypt(dir_.File("plain.bin.age"), dir_.File("back.bin"), "correct horse 電池 staple");
    ASSERT_EQ(dec.outcome, Outcome::kDone) << dec.reason;
    EXPECT_TRUE(ReadFile(dir_.File("back.bin")) == plain);
    EXPECT_EQ(ModeOf(dir_.File("back.bin")), 0640u);
    EXPECT_EQ(decrypting_.Status(), "age 解密文件 ... 已完成。");
  }
  EXPECT_TRUE(encrypting_.messages.empty());
  EXPECT_TRUE(decrypting_.messages.empty());
  EXPECT_EQ(encrypting_.controls[Control::EncryptButton].caption, "加密文件");  // idle again
}

TEST_F(AgeEngine, RefusedDecryptionsWriteNothingAndSayWhy) {
  WriteFile(dir_.File("plain"), vesk::testing::RandomBytes(200000, 3));
  ASSERT_EQ(Encrypt(dir_.File("plain"), dir_.File("p.age"), "right").outcome, Outcome::kDone);
  const std::string mine = NewIdentity("mine.txt");
  NewIdentity("stranger.txt");
  ASSERT_EQ(Encrypt(dir_.File("plain"), dir_.File("x.age"), "", {mine}).outcome, Outcome::kDone);
  const std::size_t files = FilesIn(dir_.path());

  struct Case {
    const char* what;
    std::string source, passphrase;
    std::vector<std::string> identities;
    int max_work_factor;
    std::string message_start;
  } cases[] = {
      {"wrong passphrase", "p.age", "Right", {}, 22, "密码错误"},
      {"no passphrase", "p.age", "", {dir_.File("mine.txt")}, 22, "这个 age 文件是用密码加密的"},
      {"work factor above the limit", "p.age", "right", {}, 9, "工作因子过高：文件要求 2^10 的 scrypt 工作因子，超过允许的 2^9"},
      {"stranger's identity", "x.age", "", {dir_.File("stranger.txt")}, 22, "没有匹配的身份密钥"},
      {"no identity", "x.age", "right", {}, 22, "这个 age 文件是用公钥加密的"},
      {"unreadable identity file", "x.age", "", {dir_.File("missing.txt")}, 22, "身份密钥文件“" + dir_.File("missing.txt")},
      {"not an age file", "plain", "right", {}, 22, "文件不是 age 加密文件"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const RunResult r = Decrypt(dir_.File(c.source), dir_.File("out"), c.passphrase, c.identities, c.max_work_factor);
    EXPECT_EQ(r.outcome, Outcome::kRefused);
    EXPECT_TRUE(StartsWith(LastMessage(decrypting_), c.message_start)) << LastMessage(decrypting_);
    EXPECT_EQ(r.reason, LastMessage(decrypting_));
    EXPECT_FALSE(std::filesystem::exists(dir_.File("out")));
    EXPECT_EQ(FilesIn(dir_.path()), files);  // no staging file left beside it
  }
  // The refusal of a wrong passphrase never shows the passphrase.
  EXPECT_EQ(LastMessage(decrypting_).find("Right"), std::string::npos);
}

TEST_F(AgeEngine, IdentityFilesOpenFilesOfSeveralRecipientsAndBadLinesAreNamed) {
  const std::string plain = vesk::testing::RandomBytes(70000, 9);
  WriteFile(dir_.File("plain"), plain);
  const std::string a = NewIdentity("a.txt"), b = NewIdentity("b.txt");
  ASSERT_EQ(Encrypt(dir_.File("plain"), dir_.File("ab.age"), "", {a, b}, /*armor=*/true).outcome, Outcome::kDone);
  EXPECT_TRUE(StartsWith(ReadFile(dir_.File("ab.age")), "-----BEGIN AGE ENCRYPTED FILE-----\n"));
  // Either identity opens it, alone or after one that does not.
  NewIdentity("c.txt");
  for (const char* key : {"a.txt", "b.txt"}) {
    std::filesystem::remove(dir_.File("back"));
    ASSERT_EQ(Decrypt(dir_.File("ab.age"), dir_.File("back"), "", {dir_.File("c.txt"), dir_.File(key)}).outcome,
              Outcome::kDone);
    EXPECT_TRUE(ReadFile(dir_.File("back")) == plain);
  }
  // A line that is no identity is named by its number, never shown.
  WriteFile(dir_.File("bad.txt"), "# created: today\n\nAGE-SECRET-KEY-1QQQQQQQQQQQQQQQQQQQQQQ\n");
  EXPECT_EQ(Decrypt(dir_.File("ab.age"), dir_.File("out"), "", {dir_.File("bad.txt")}).outcome, Outcome::kRefused);
  EXPECT_EQ(LastMessage(decrypting_), "身份密钥文件“" + dir_.File("bad.txt") +
                                          "”（第 3 行）不是有效的 age 身份密钥（AGE-SECRET-KEY-1…）。解密文件已取消。");
  // An identity file that is itself an age file wants its passphrase, which
  // nobody here can type.
  ASSERT_EQ(Encrypt(dir_.File("a.txt"), dir_.File("a.txt.age"), "pw").outcome, Outcome::kDone);
  EXPECT_EQ(Decrypt(dir_.File("ab.age"), dir_.File("out"), "", {dir_.File("a.txt.age")}).outcome, Outcome::kRefused);
  EXPECT_EQ(LastMessage(decrypting_), "密码错误：没有输入密码或者密码不对，打不开身份密钥文件“" + dir_.File("a.txt.age") +
                                          "”。解密文件已取消。");
  EXPECT_FALSE(std::filesystem::exists(dir_.File("out")));
  // A recipient that is not one is refused before anything is written.
  EXPECT_EQ(Encrypt(dir_.File("plain"), dir_.File("bad.age"), "", {a, "age1notakey"}).outcome, Outcome::kRefused);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("bad.age")));
}

TEST_F(AgeEngine, DamageAnywhereLeavesNoOutputEvenAfterAuthenticatedChunksWereStaged) {
  // 80 chunks: more than one batch, so a fault in the last chunks is found
  // after earlier ones were written to the staging file.
  const std::string plain = vesk::testing::RandomBytes(80 * kChunk - 5, 21);
  WriteFile(dir_.File("plain"), plain);
  const std::string me = NewIdentity("me.txt");
  ASSERT_EQ(Encrypt(dir_.File("plain"), dir_.File("good.age"), "", {me}).outcome, Outcome::kDone);
  const std::string good = ReadFile(dir_.File("good.age"));
  const std::size_t payload = PayloadStart(good);
  const std::size_t files = FilesIn(dir_.path());

  struct Damage {
    std::string what;
    std::string bytes;
  };
  std::vector<Damage> damages;
  for (std::size_t cut : {std::size_t{1}, std::size_t{64}, std::size_t{79}}) {  // at chunk boundaries
    damages.push_back({"cut after chunk " + std::to_string(cut), good.substr(0, payload + 16 + cut * kSealed)});
  }
  damages.push_back({"cut inside the last tag", good.substr(0, good.size() - 3)});
  for (std::size_t at : {std::size_t{40}, payload - 10, payload + 3, payload + 16 + 70 * kSealed + 5, good.size() - 1}) {
    std::string flipped = good;
    flipped[at] = static_cast<char>(flipped[at] ^ 0x20);
    damages.push_back({"bit flip at " + std::to_string(at), flipped});
  }
  damages.push_back({"data after the end", good + "x"});
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.what);
    WriteFile(dir_.File("bad.age"), d.bytes);
    const RunResult r = Decrypt(dir_.File("bad.age"), dir_.File("out"), "", {dir_.File("me.txt")});
    EXPECT_NE(r.outcome, Outcome::kDone);
    EXPECT_FALSE(std::filesystem::exists(dir_.File("out")));
    EXPECT_EQ(FilesIn(dir_.path()), files + 1);  // bad.age and nothing else
  }
  // The header flip can change a stanza so that it is no longer this
  // identity's; every payload fault says the file is damaged.
  EXPECT_TRUE(StartsWith(LastMessage(decrypting_), "文件已损坏或被截断：“" + dir_.File("bad.age") + "”")) << LastMessage(decrypting_);
}

TEST_F(AgeEngine, CancelAndFailingDiskLeaveNoOutputAndTheOldTargetStays) {
  const std::string plain = vesk::testing::RandomBytes(300 * kChunk, 5);
  WriteFile(dir_.File("plain"), plain);
  ASSERT_EQ(Encrypt(dir_.File("plain"), dir_.File("big.age"), "pw").outcome, Outcome::kDone);
  WriteFile(dir_.File("old"), "the file that was there");
  const std::size_t files = FilesIn(dir_.path());

  // A cancel at the first bar move (the stop the window's cancel requests).
  decrypting_.on_bar_position = [this](int64_t) { decrypting_.RequestRunStop(); };
  DecryptJob job;
  job.source_path = dir_.File("big.age");
  job.target_path = dir_.File("old");
  job.passphrase = age::SecretBytes::FromString("pw");
  job.replace_target = true;
  decrypting_.BeginRun();
  decrypting_.RunEngine([&](RunContext& c) { return DecryptFile(job, c); });
  EXPECT_EQ(decrypting_.Result().outcome, Outcome::kCancelled);
  EXPECT_EQ(decrypting_.Status(), "解密文件已取消。");
  EXPECT_EQ(ReadFile(dir_.File("old")), "the file that was there");
  EXPECT_EQ(FilesIn(dir_.path()), files);
  decrypting_.on_bar_position = nullptr;

  // A disk that fails after some megabytes.
  before_write_ = [](int64_t offset, std::size_t) {
    if (offset > (8 << 20)) throw std::runtime_error("disk full");
  };
  const RunResult failed = Decrypt(dir_.File("big.age"), dir_.File("new"), "pw");
  EXPECT_EQ(failed.outcome, Outcome::kFailed);
  EXPECT_EQ(LastMessage(decrypting_), "解密文件“" + dir_.File("big.age") + "”出错!已停止。没有写出任何文件。");
  EXPECT_FALSE(std::filesystem::exists(dir_.File("new")));
  EXPECT_EQ(FilesIn(dir_.path()), files);

  // A file that appeared at a free target meanwhile is kept.
  before_write_ = nullptr;
  DecryptJob late;
  late.source_path = dir_.File("big.age");
  late.target_path = dir_.File("old");
  late.passphrase = age::SecretBytes::FromString("pw");
  late.replace_target = false;
  decrypting_.BeginRun();
  decrypting_.RunEngine([&](RunContext& c) { return DecryptFile(late, c); });
  EXPECT_EQ(decrypting_.Result().outcome, Outcome::kRefused);
  EXPECT_EQ(ReadFile(dir_.File("old")), "the file that was there");
  // The output never replaces its own source.
  EXPECT_EQ(Encrypt(dir_.File("plain"), dir_.File("plain"), "pw").outcome, Outcome::kRefused);
  EXPECT_TRUE(ReadFile(dir_.File("plain")) == plain);
}

// A disk that fills up is named as the reason, in both directions, and
// nothing is left on it.
TEST_F(AgeEngine, AFullDiskIsTheReasonGiven) {
  vesk::testing::SmallDisk disk(1 << 20);
  if (!disk.Ready()) GTEST_SKIP() << "cannot mount a small disk";
  WriteFile(dir_.File("plain"), vesk::testing::RandomBytes(2 << 20, 6));
  ASSERT_EQ(Encrypt(dir_.File("plain"), dir_.File("plain.age"), "pw").outcome, Outcome::kDone);
  EXPECT_EQ(Encrypt(dir_.File("plain"), disk.File("plain.age"), "pw").outcome, Outcome::kFailed);
  EXPECT_EQ(LastMessage(encrypting_), "加密文件“" + dir_.File("plain") + "”出错!磁盘空间不足。没有写出任何文件。");
  EXPECT_EQ(Decrypt(dir_.File("plain.age"), disk.File("plain"), "pw").outcome, Outcome::kFailed);
  EXPECT_EQ(LastMessage(decrypting_), "解密文件“" + dir_.File("plain.age") + "”出错!磁盘空间不足。没有写出任何文件。");
  EXPECT_TRUE(vesk::testing::FolderEntries(disk.path()).empty());
}

TEST(AgeFileKind, TheHeaderDecidesWhateverTheName) {
  TempDir dir;
  const std::string long_space(1000, '\n');
  const std::string straddling = std::string(250, ' ') + "-----BEGIN AGE ENCRYPTED FILE-----\n";
  const struct {
    std::string bytes;
    FileKind kind;
  } cases[] = {
      {"age-encryption.org/v1\n-> X25519 abc\n", FileKind::kBinary},
      {"age-encryption.org/v2\n", FileKind::kBinary},  // recognised, then refused as unsupported
      {"-----BEGIN AGE ENCRYPTED FILE-----\nYWdl\n", FileKind::kArmored},
      {" \r\n\t-----BEGIN AGE ENCRYPTED FILE-----\n", FileKind::kArmored},
      {"age-encryption.org", FileKind::kNotAge},
      {"x-----BEGIN AGE ENCRYPTED FILE-----\n", FileKind::kNotAge},
      {"", FileKind::kNotAge},
      {long_space + "-----BEGIN AGE ENCRYPTED FILE-----\nYWdl\n", FileKind::kArmored},
      {straddling, FileKind::kArmored},
      {long_space, FileKind::kNotAge},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    WriteFile(dir.File("f.jmz"), c.bytes);
    EXPECT_EQ(DetectFile(dir.File("f.jmz")), c.kind);
  }
  EXPECT_EQ(DetectFile(dir.File("missing")), FileKind::kNotAge);
  WriteFile(dir.File("v2"), "age-encryption.org/v2\n-> X25519 abc\n");
  EXPECT_EQ(HeaderRefusal(SummarizeHeader(dir.File("v2")), "v2"), "这个 age 文件的版本不受支持，不能解密。解密文件已取消。");
}

}  // namespace
}  // namespace vesk::age_files
