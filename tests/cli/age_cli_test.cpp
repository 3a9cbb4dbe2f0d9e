// vesk-cli's strong format against the real age programs: files made by one
// are opened by the other, X25519 and passphrase (age reads passphrases from
// a terminal only, so it gets one), binary and armored, around the chunk
// boundaries; every failure exits 1 and leaves nothing; key files agree with
// age-keygen.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <termios.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <filesystem>
#include <sstream>

#include <gtest/gtest.h>

#include "cli/cli_fixture.h"
#include "cli/on_terminal.h"

namespace vesk {
namespace {

using testing::CliTest;
using testing::FindProgram;
using testing::OnTerminal;
using testing::ProcessResult;
using testing::RandomBytes;
using testing::ReadFile;
using testing::RunProcess;
using testing::SignalOnCue;
using testing::WriteFile;

constexpr std::size_t kChunk = 64 * 1024;
constexpr std::size_t kSealed = kChunk + 16;

bool Contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }
bool Exists(const std::string& path) { return std::filesystem::exists(std::filesystem::symlink_status(path)); }

class AgeCli : public CliTest {
 protected:
  void SetUp() override {
    age_ = FindProgram("age");
    keygen_ = FindProgram("age-keygen");
    if (age_.empty() || keygen_.empty()) GTEST_SKIP() << "the age programs are not installed";
    // Their key, made by age-keygen; ours, made by vesk-cli.
    ASSERT_EQ(RunProcess({keygen_, "-o", dir_.File("their.key")}).status, 0);
    their_ = RunProcess({keygen_, "-y", dir_.File("their.key")}).out;
    their_.pop_back();
    const ProcessResult ours = Cli({"keygen", "-o", dir_.File("our.key")});
    ASSERT_EQ(ours.status, 0) << ours.err;
    ours_ = ours.out.substr(0, ours.out.size() - 1);
  }
  ProcessResult Age(std::vector<std::string> args) {
    args.insert(args.begin(), age_);
    return RunProcess(args);
  }
  // The files in the test's folder and in the temporary folder the program sees.
  std::size_t Files() { return FilesIn(dir_.path()) + FilesIn(tmp_.path()); }

  std::string age_, keygen_, their_, ours_;
};

TEST_F(AgeCli, X25519FilesGoBothWaysBinaryAndArmoredAroundChunkBoundaries) {
  for (std::size_t size : {0u, 1u, 65535u, 65536u, 65537u, 131072u, 131073u, (3u << 20) + 5}) {
    for (bool armor : {false, true}) {
      SCOPED_TRACE(::testing::Message() << size << (armor ? " armored" : " binary"));
      const std::string plain = RandomBytes(size, static_cast<uint32_t>(size) + 11);
      WriteFile(dir_.File("plain.bin"), plain);

      // vesk-cli -> age: SOURCE.age beside the source, the whole name kept.
      std::vector<std::string> args = {"encrypt", dir_.File("plain.bin"), "--format", "age", "--recipient", their_, "--yes"};
      if (armor) args.push_back("--armor");
      const ProcessResult made = Cli(args);
      ASSERT_EQ(made.status, 0) << made.err;
      EXPECT_EQ(made.out, dir_.File("plain.bin.age") + "\n");
      const std::string sealed = ReadFile(dir_.File("plain.bin.age"));
      EXPECT_EQ(sealed.rfind(armor ? "-----BEGIN AGE ENCRYPTED FILE-----\n" : "age-encryption.org/v1\n-> X25519 ", 0), 0u);
      std::filesystem::remove(dir_.File("by-age"));
      const ProcessResult opened = Age({"-d", "-i", dir_.File("their.key"), "-o", dir_.File("by-age"), dir_.File("plain.bin.age")});
      ASSERT_EQ(opened.status, 0) << opened.err;
      EXPECT_TRUE((Exists(dir_.File("by-age")) ? ReadFile(dir_.File("by-age")) : "") == plain);

      // age -> vesk-cli: the name without ".age".
      std::vector<std::string> to_us = {"-r", ours_, "-o", dir_.File("theirs.age")};
      if (armor) to_us.push_back("-a");
      to_us.push_back(dir_.File("plain.bin"));
      ASSERT_EQ(Age(to_us).status, 0);
      const ProcessResult back = Cli({"decrypt", dir_.File("theirs.age"), "--identity", dir_.File("our.key"), "--yes"});
      ASSERT_EQ(back.status, 0) << back.err;
      EXPECT_EQ(back.out, dir_.File("theirs") + "\n");
      EXPECT_TRUE(ReadFile(dir_.File("theirs")) == plain);
    }
  }
  EXPECT_EQ(FilesIn(tmp_.path()), 0u);
}

TEST_F(AgeCli, SeveralRecipientsOneOfThemOurs) {
  ASSERT_EQ(RunProcess({keygen_, "-o", dir_.File("third.key")}).status, 0);
  std::string third = RunProcess({keygen_, "-y", dir_.File("third.key")}).out;
  third.pop_back();
  const std::string plain = RandomBytes(150000, 3);
  WriteFile(dir_.File("p"), plain);

  // age to three, one of them ours.
  ASSERT_EQ(Age({"-r", third, "-r", ours_, "-r", their_, "-o", dir_.File("three.age"), dir_.File("p")}).status, 0);
  const ProcessResult back = Cli({"decrypt", dir_.File("three.age"), "-o", dir_.File("back"), "--identity",
                                  dir_.File("third.key"), "--identity", dir_.File("our.key")});
  ASSERT_EQ(back.status, 0) << back.err;
  EXPECT_TRUE(ReadFile(dir_.File("back")) == plain);

  // vesk-cli to a given key and a recipients file (comments, blank lines).
  WriteFile(dir_.File("team.txt"), "# the team\n" + ours_ + "\n\n" + third + "\n");
  const ProcessResult made = Cli({"encrypt", dir_.File("p"), "-o", dir_.File("to-three.age"), "--format", "age",
                                  "--recipient", their_, "--recipients-file", dir_.File("team.txt")});
  ASSERT_EQ(made.status, 0) << made.err;
  for (const char* key : {"their.key", "third.key", "our.key"}) {
    std::filesystem::remove(dir_.File("by-age"));
    const ProcessResult r = Age({"-d", "-i", dir_.File(key), "-o", dir_.File("by-age"), dir_.File("to-three.age")});
    ASSERT_EQ(r.status, 0) << key << ": " << r.err;
    EXPECT_TRUE(ReadFile(dir_.File("by-age")) == plain);
  }
  // A key nobody gave: no matching identity, and nothing written.
  ASSERT_EQ(RunProcess({keygen_, "-o", dir_.File("stranger.key")}).status, 0);
  const std::size_t files = Files();
  const ProcessResult stranger = Cli({"decrypt", dir_.File("to-three.age"), "--identity", dir_.File("stranger.key")});
  EXPECT_EQ(stranger.status, 1);
  EXPECT_TRUE(Contains(stranger.err, "没有匹配的身份密钥")) << stranger.err;
  EXPECT_FALSE(Exists(dir_.File("to-three")));
  EXPECT_EQ(Files(), files);
}

TEST_F(AgeCli, PassphraseFilesGoBothWaysThroughATerminal) {
  const std::string passphrase = "口令 tränen im regen 42";  // UTF-8, never converted to GBK
  const std::string plain = RandomBytes(70000, 5);
  WriteFile(dir_.File("p"), plain);

  // age -p -> vesk-cli with the passphrase in a key file (its final line break dropped).
  ASSERT_EQ(OnTerminal({age_, "-p", "-o", dir_.File("theirs.age"), dir_.File("p")}, {}, "passphrase", passphrase, 2), 0);
  WriteFile(dir_.File("pass.txt"), passphrase + "\n");
  const ProcessResult back = Cli({"decrypt", dir_.File("theirs.age"), "--key-file", dir_.File("pass.txt")});
  ASSERT_EQ(back.status, 0) << back.err;
  EXPECT_TRUE(ReadFile(dir_.File("theirs")) == plain);

  // vesk-cli with the passphrase typed twice on its terminal -> age -d.
  std::string seen;
  ASSERT_EQ(OnTerminal({VESK_CLI_PATH, "encrypt", dir_.File("p"), "--format", "age", "-o", dir_.File("ours.age")},
                       {{"TMPDIR", tmp_.path()}}, "密码: ", passphrase, 2, &seen),
            0)
      << seen;
  EXPECT_FALSE(Contains(seen, "tränen")) << "the passphrase was echoed";
  // The work factor the age tool writes: 2^18 ("-> scrypt SALT 18").
  const std::string sealed = ReadFile(dir_.File("ours.age"));
  const std::string stanza = sealed.substr(22, sealed.find('\n', 22) - 22);
  EXPECT_EQ(stanza.rfind("-> scrypt ", 0), 0u) << stanza;
  EXPECT_EQ(stanza.substr(stanza.rfind(' ') + 1), "18") << stanza;
  ASSERT_EQ(OnTerminal({age_, "-d", "-o", dir_.File("by-age"), dir_.File("ours.age")}, {}, "passphrase", passphrase, 1), 0);
  EXPECT_TRUE(ReadFile(dir_.File("by-age")) == plain);

  // The wrong passphrase: exit 1, the words users look for, no output at all.
  const std::size_t files = Files();
  WriteFile(dir_.File("wrong.txt"), "口令 tranen im regen 42");
  const ProcessResult wrong = Cli({"decrypt", dir_.File("ours.age"), "--key-file", dir_.File("wrong.txt")});
  EXPECT_EQ(wrong.status, 1);
  EXPECT_TRUE(Contains(wrong.err, "密码错误")) << wrong.err;
  EXPECT_EQ(wrong.out, "");
  EXPECT_FALSE(Exists(dir_.File("ours")));
  EXPECT_EQ(Files(), files + 1);  // wrong.txt
}

TEST_F(AgeCli, DamagedAndCutShortFilesExitOneAndLeaveNothing) {
  // 100 chunks (more than one batch of the decryption), made by age.
  const std::string plain = RandomBytes(100 * kChunk, 8);
  WriteFile(dir_.File("p"), plain);
  ASSERT_EQ(Age({"-r", ours_, "-o", dir_.File("good.age"), dir_.File("p")}).status, 0);
  const std::string good = ReadFile(dir_.File("good.age"));
  const std::size_t payload = good.find('\n', good.find("\n--- ") + 1) + 1;
  ASSERT_EQ(good.size(), payload + 16 + 100 * kSealed);
  std::filesystem::remove(dir_.File("p"));

  std::vector<std::pair<std::string, std::string>> bad;
  for (std::size_t chunks : {std::size_t{1}, std::size_t{64}, std::size_t{99}}) {
    bad.emplace_back("cut after chunk " + std::to_string(chunks), good.substr(0, payload + 16 + chunks * kSealed));
  }
  bad.emplace_back("cut inside the header", good.substr(0, payload - 20));
  for (std::size_t at : {std::size_t{30}, payload - 5, payload + 2, payload + 16 + 99 * kSealed + 100, good.size() - 1}) {
    std::string flipped = good;
    flipped[at] = static_cast<char>(flipped[at] ^ 0x01);
    bad.emplace_back("bit flip at " + std::to_string(at), flipped);
  }
  for (const auto& [what, bytes] : bad) {
    SCOPED_TRACE(what);
    WriteFile(dir_.File("bad.age"), bytes);
    const std::size_t files = Files();
    const ProcessResult r = Cli({"decrypt", dir_.File("bad.age"), "--identity", dir_.File("our.key")});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(Exists(dir_.File("bad")));
    EXPECT_EQ(Files(), files);
    // A damaged header may leave no stanza for this key; the rest is damage.
    EXPECT_TRUE(Contains(r.err, "文件已损坏或被截断") || Contains(r.err, "没有匹配的身份密钥")) << r.err;
  }
  // The file itself decrypts, so every failure above came from the damage.
  const ProcessResult r = Cli({"decrypt", dir_.File("good.age"), "--identity", dir_.File("our.key")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(ReadFile(dir_.File("good")) == plain);
}

TEST_F(AgeCli, EveryChunkBoundaryCutAndEveryChunkFlipOfASmallFileIsRefused) {
  // Four full chunks and a short fifth, made by age: a cut at each chunk
  // boundary (before the first chunk too) and a flip inside each chunk.
  WriteFile(dir_.File("p"), RandomBytes(4 * kChunk + 1000, 12));
  ASSERT_EQ(Age({"-r", ours_, "-o", dir_.File("good.age"), dir_.File("p")}).status, 0);
  const std::string good = ReadFile(dir_.File("good.age"));
  const std::size_t payload = good.find('\n', good.find("\n--- ") + 1) + 1;
  std::vector<std::string> bad;
  for (std::size_t chunks = 0; chunks <= 4; ++chunks) bad.push_back(good.substr(0, payload + 16 + chunks * kSealed));
  for (std::size_t chunk = 0; chunk <= 4; ++chunk) {
    std::string flipped = good;
    flipped[payload + 16 + chunk * kSealed + 7] ^= 0x80;
    bad.push_back(flipped);
  }
  const std::size_t files = Files() + 1;
  for (std::size_t i = 0; i < bad.size(); ++i) {
    SCOPED_TRACE(i < 5 ? "cut after " + std::to_string(i) + " chunks" : "flip in chunk " + std::to_string(i - 5));
    WriteFile(dir_.File("bad.age"), bad[i]);
    const ProcessResult r = Cli({"decrypt", dir_.File("bad.age"), "--identity", dir_.File("our.key")});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(Contains(r.err, "文件已损坏或被截断")) << r.err;
    EXPECT_FALSE(Exists(dir_.File("bad")));
    EXPECT_EQ(Files(), files);
  }
}

TEST_F(AgeCli, KeygenWritesAPrivateKeyFileThatAgeKeygenReadsAlike) {
  const mode_t old_mask = ::umask(0);  // the child inherits it: the file must still be private
  const ProcessResult made = Cli({"keygen", "-o", dir_.File("k.txt")});
  ::umask(old_mask);
  ASSERT_EQ(made.status, 0) << made.err;
  struct stat st {};
  ASSERT_EQ(::stat(dir_.File("k.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  const std::string text = ReadFile(dir_.File("k.txt"));
  const ProcessResult theirs = RunProcess({keygen_, "-y", dir_.File("k.txt")});
  ASSERT_EQ(theirs.status, 0) << theirs.err;
  EXPECT_EQ(made.out, theirs.out);  // the printed public key is the one age-keygen derives
  EXPECT_TRUE(Contains(text, "\n# public key: " + theirs.out)) << text;
  const ProcessResult y = Cli({"keygen", "-y", dir_.File("k.txt")});
  EXPECT_EQ(y.status, 0);
  EXPECT_EQ(y.out, theirs.out);
  // And for a file age-keygen made.
  EXPECT_EQ(Cli({"keygen", "-y", dir_.File("their.key")}).out, their_ + "\n");

  // Without -o: the file's text on standard output, the public key on standard error.
  const ProcessResult shown = Cli({"keygen"});
  ASSERT_EQ(shown.status, 0);
  WriteFile(dir_.File("shown.txt"), shown.out);
  const std::string pub = RunProcess({keygen_, "-y", dir_.File("shown.txt")}).out;
  EXPECT_EQ(pub.rfind("age1", 0), 0u);
  EXPECT_TRUE(Contains(shown.err, pub.substr(0, pub.size() - 1)));

  // An existing key file is never replaced.
  const ProcessResult again = Cli({"keygen", "-o", dir_.File("k.txt")});
  EXPECT_EQ(again.status, 1);
  EXPECT_EQ(ReadFile(dir_.File("k.txt")), text);
  WriteFile(dir_.File("junk.txt"), "AGE-SECRET-KEY-1NOTAKEY\n");
  EXPECT_EQ(Cli({"keygen", "-y", dir_.File("junk.txt")}).status, 1);
}

TEST_F(AgeCli, TheHeaderDecidesWhateverTheNameAndOutputsAreNamedAsAgeNamesThem) {
  const std::string plain = "what the file holds\n";
  WriteFile(dir_.File("note.txt"), plain);
  ASSERT_EQ(Age({"-r", ours_, "-o", dir_.File("disguised.jmz"), dir_.File("note.txt")}).status, 0);
  ASSERT_EQ(Age({"-r", ours_, "-a", "-o", dir_.File("noext"), dir_.File("note.txt")}).status, 0);
  const ProcessResult a = Cli({"decrypt", dir_.File("disguised.jmz"), "--identity", dir_.File("our.key")});
  ASSERT_EQ(a.status, 0) << a.err;
  EXPECT_EQ(a.out, dir_.File("disguised.jmz.out") + "\n");
  EXPECT_EQ(ReadFile(dir_.File("disguised.jmz.out")), plain);
  // "-o" names the output as it is (no stored extension is appended).
  const ProcessResult b = Cli({"decrypt", dir_.File("noext"), "-o", dir_.File("plain.txt"), "--identity", dir_.File("our.key")});
  ASSERT_EQ(b.status, 0) << b.err;
  EXPECT_EQ(ReadFile(dir_.File("plain.txt")), plain);
  // An existing output is replaced only after a Yes.
  WriteFile(dir_.File("plain.txt"), "keep me");
  const ProcessResult no = Cli({"decrypt", dir_.File("noext"), "-o", dir_.File("plain.txt"), "--identity",
                                dir_.File("our.key"), "--no"});
  EXPECT_EQ(no.status, 1);
  EXPECT_EQ(ReadFile(dir_.File("plain.txt")), "keep me");
  // .jmz files still decrypt as before in the same command line.
  ASSERT_EQ(Cli({"encrypt", dir_.File("note.txt"), "--level", "0", "--key-env", "VESK_KEY"}).status, 0);
  std::filesystem::remove(dir_.File("note.txt"));
  const ProcessResult both = Cli({"decrypt", dir_.File("note.jmz"), dir_.File("disguised.jmz"), "--key-env", "VESK_KEY",
                                  "--identity", dir_.File("our.key"), "--yes"});
  ASSERT_EQ(both.status, 0) << both.err;
  EXPECT_EQ(ReadFile(dir_.File("note.txt")), plain);
}

TEST_F(AgeCli, UsageMistakesAndMissingKeysAreRefusedBeforeAnythingIsWritten) {
  WriteFile(dir_.File("f"), "data");
  const std::size_t files = Files();
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string says;
  } cases[] = {
      {{"encrypt", dir_.File("f"), "--recipient", their_}, 2, "--format age"},
      {{"encrypt", dir_.File("f"), "--format", "age", "--level", "1", "--key-env", "VESK_KEY"}, 2, "--format age"},
      {{"encrypt", dir_.File("f"), "--format", "age", "--key-env", "VESK_KEY", "--recipient", their_}, 2, "不能两样同时用"},
      {{"encrypt", dir_.File("f"), "--format", "zip"}, 2, ""},
      {{"encrypt", dir_.File("f"), "--format", "age", "--recipient", "age1notakey"}, 1, "接收者公钥无效“age1notakey”"},
      {{"encrypt", dir_.File("f"), "--format", "age"}, 1, "没有加密的密码"},
      {{"decrypt", dir_.File("f"), "--max-work-factor", "31"}, 2, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[2] + " " + (c.args.size() > 3 ? c.args[3] : ""));
    const ProcessResult r = Cli(c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_TRUE(Contains(r.err, c.says)) << r.err;
    EXPECT_EQ(Files(), files);
  }
  // A passphrase file needs its passphrase; without a terminal nothing is asked.
  WriteFile(dir_.File("pw"), "pw\n");
  ASSERT_EQ(Cli({"encrypt", dir_.File("f"), "--format", "age", "--key-file", dir_.File("pw")}).status, 0);
  const ProcessResult none = Cli({"decrypt", dir_.File("f.age")});
  EXPECT_EQ(none.status, 1);
  EXPECT_TRUE(Contains(none.err, "这个 age 文件是用密码加密的")) << none.err;
  // A lower limit on the work factor refuses the file before any work.
  const ProcessResult limited = Cli({"decrypt", dir_.File("f.age"), "--key-file", dir_.File("pw"), "--max-work-factor", "17"});
  EXPECT_EQ(limited.status, 1);
  EXPECT_TRUE(Contains(limited.err, "工作因子过高：文件要求 2^18")) << limited.err;
  EXPECT_EQ(Files(), files + 2);  // pw and f.age
}

TEST_F(AgeCli, AnInterruptedDecryptionLeavesNoPartialOutput) {
  const std::string plain = RandomBytes(192 << 20, 13);
  WriteFile(dir_.File("big"), plain);
  ASSERT_EQ(Cli({"encrypt", dir_.File("big"), "--format", "age", "--recipient", ours_}).status, 0);
  std::filesystem::remove(dir_.File("big"));
  const ProcessResult r = Cli({"decrypt", dir_.File("big.age"), "--identity", dir_.File("our.key")}, {},
                              SignalOnCue(SIGINT, "进行 age 解密文件..."));
  EXPECT_NE(r.status, 128 + SIGINT) << "ended by the signal itself";
  // big.age, their.key, our.key, and big only when complete.
  EXPECT_EQ(FilesIn(dir_.path()), r.status == 0 ? 4u : 3u);
  if (r.status != 0) {
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_FALSE(Exists(dir_.File("big")));
  }
  EXPECT_EQ(FilesIn(tmp_.path()), 0u);
}

}  // namespace
}  // namespace vesk
