// Files exchanged with the reference age programs (age, age-keygen) in
// both directions: X25519 binary and armored at sizes around the chunk
// boundaries, several recipients, our key files, and passphrase files
// (age reads passphrases only from a terminal, so it gets one).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "age_test_util.h"
#include "crypto/age/age.h"
#include "crypto/age/payload.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace vesk::age {
namespace {

using vesk::testing::ReadFile;
using vesk::testing::RunProcess;
using vesk::testing::TempDir;
using vesk::testing::WriteFile;

// age creates its output file only when it has something to write.
std::string ReadOutput(const std::string& path) { return ::access(path.c_str(), F_OK) == 0 ? ReadFile(path) : ""; }

class AgeInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    age_ = testing::FindProgram("age");
    keygen_ = testing::FindProgram("age-keygen");
    if (age_.empty() || keygen_.empty()) GTEST_SKIP() << "the age programs are not installed";
    // A key made by age-keygen, read by us.
    ASSERT_EQ(RunProcess({keygen_, "-o", dir_.File("their.key")}).status, 0);
    std::vector<X25519Identity> ids;
    ASSERT_TRUE(ParseIdentityFile(ReadFile(dir_.File("their.key")), ids).ok());
    their_ = std::make_unique<X25519Identity>(std::move(ids[0]));
    // A key made by us, read by age.
    ours_ = std::make_unique<X25519Identity>(*X25519Identity::Generate());
    WriteFile(dir_.File("our.key"), KeyFileText(*ours_, std::time(nullptr)).view());
  }

  std::string EncryptFileWithUs(const std::vector<const Recipient*>& to, const std::string& plain, bool armor) {
    WriteFile(dir_.File("plain"), plain);
    const int in = ::open(dir_.File("plain").c_str(), O_RDONLY);
    const int out = ::open(dir_.File("ours.age").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::atomic<bool> stop {false};
    EncryptOptions options;
    options.armor = armor;
    const Result r = EncryptFd(to, in, out, options, stop);
    ::close(in);
    ::close(out);
    EXPECT_TRUE(r.ok()) << r.detail;
    return dir_.File("ours.age");
  }

  Result DecryptFileWithUs(const std::vector<const Identity*>& ids, const std::string& path, std::string& plain) {
    const int in = ::open(path.c_str(), O_RDONLY);
    const int out = ::open(dir_.File("opened").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::atomic<bool> stop {false};
    Result r = DecryptFd(ids, in, out, {}, stop);
    ::close(in);
    ::close(out);
    plain = ReadFile(dir_.File("opened"));
    return r;
  }

  // Runs age on a new terminal, typing `passphrase` at each of its
  // `prompts` passphrase prompts; returns its exit status.
  int AgeOnTerminal(const std::vector<std::string>& args, const std::string& passphrase, int prompts) {
    std::vector<std::string> argv = {age_};
    argv.insert(argv.end(), args.begin(), args.end());
    return vesk::testing::RunInTerminal(argv, {}, [&](int master, int, int) {
      std::string seen;
      int answered = 0;
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      while (answered < prompts && std::chrono::steady_clock::now() < deadline) {
        pollfd p {master, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        char buf[512];
        const ssize_t n = ::read(master, buf, sizeof buf);
        if (n <= 0) break;
        seen.append(buf, static_cast<std::size_t>(n));
        // Each prompt ends with ": "; answer every one we have not yet.
        std::size_t count = 0;
        for (std::size_t at = 0; (at = seen.find("passphrase", at)) != std::string::npos; ++at) ++count;
        while (answered < static_cast<int>(count) && answered < prompts) {
          const std::string line = passphrase + "\n";
          EXPECT_EQ(::write(master, line.data(), line.size()), static_cast<ssize_t>(line.size()));
          ++answered;
        }
      }
      EXPECT_EQ(answered, prompts) << seen;
    });
  }

  TempDir dir_;
  std::string age_, keygen_;
  std::unique_ptr<X25519Identity> their_, ours_;
};

TEST_F(AgeInterop, X25519FilesBothWaysAtChunkBoundaries) {
  const X25519Recipient to_them = their_->ToRecipient();
  for (std::size_t size : {0u, 1u, 65535u, 65536u, 65537u, 131072u, 131073u, (3u << 20) + 5}) {
    for (bool armor : {false, true}) {
      if (armor && size > 65537 && size != (3u << 20) + 5) continue;  // armor at a few sizes is enough
      SCOPED_TRACE(::testing::Message() << "size " << size << (armor ? " armored" : " binary"));
      const std::string plain = vesk::testing::RandomBytes(size, static_cast<uint32_t>(size) + 1);
      // Ours -> age.
      const std::string sealed = EncryptFileWithUs({&to_them}, plain, armor);
      const auto opened = RunProcess({age_, "-d", "-i", dir_.File("their.key"), "-o", dir_.File("by-age"), sealed});
      ASSERT_EQ(opened.status, 0) << opened.err;
      EXPECT_TRUE(ReadOutput(dir_.File("by-age")) == plain);
      // age -> ours.
      std::vector<std::string> argv = {age_, "-r", ours_->ToRecipient().Encode(), "-o", dir_.File("theirs.age")};
      if (armor) argv.push_back("-a");
      argv.push_back(dir_.File("plain"));
      const auto made = RunProcess(argv);
      ASSERT_EQ(made.status, 0) << made.err;
      std::string back;
      const Result r = DecryptFileWithUs({ours_.get()}, dir_.File("theirs.age"), back);
      EXPECT_TRUE(r.ok()) << r.detail;
      EXPECT_TRUE(back == plain);
    }
  }
}

TEST_F(AgeInterop, X25519FilesBothWaysAroundEveryBatchBoundary) {
  // Sizes a chunk either side of one and two of our batches, written on one
  // and on two workers: age must open what every layout of our pipeline
  // writes, and we must open what age writes at the same sizes.
  const X25519Recipient to_them = their_->ToRecipient();
  const std::size_t batch = PayloadOptions {}.batch_chunks;
  std::vector<std::size_t> sizes = {0, 1};
  for (std::size_t k : {std::size_t {1}, std::size_t {2}, batch - 1, batch, batch + 1, 2 * batch, 2 * batch + 1}) {
    for (std::size_t size : {k * kChunkSize - 1, k * kChunkSize, k * kChunkSize + 1}) sizes.push_back(size);
  }
  for (std::size_t n = 0; n < sizes.size(); ++n) {
    const std::size_t size = sizes[n];
    const unsigned threads = n % 2 == 0 ? 1 : 2;
    SCOPED_TRACE(::testing::Message() << "size " << size << ", threads " << threads);
    const std::string plain = vesk::testing::RandomBytes(size, static_cast<uint32_t>(size) + 3);
    WriteFile(dir_.File("plain"), plain);
    {
      const int in = ::open(dir_.File("plain").c_str(), O_RDONLY);
      const int out = ::open(dir_.File("ours.age").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      std::atomic<bool> stop {false};
      EncryptOptions options;
      options.threads = threads;
      const Result r = EncryptFd({&to_them}, in, out, options, stop);
      ::close(in);
      ::close(out);
      ASSERT_TRUE(r.ok()) << r.detail;
    }
    const auto opened =
        RunProcess({age_, "-d", "-i", dir_.File("their.key"), "-o", dir_.File("by-age"), dir_.File("ours.age")});
    ASSERT_EQ(opened.status, 0) << opened.err;
    EXPECT_TRUE(ReadOutput(dir_.File("by-age")) == plain);
    ::unlink(dir_.File("by-age").c_str());
    const auto made =
        RunProcess({age_, "-r", ours_->ToRecipient().Encode(), "-o", dir_.File("theirs.age"), dir_.File("plain")});
    ASSERT_EQ(made.status, 0) << made.err;
    std::string back;
    const Result r = DecryptFileWithUs({ours_.get()}, dir_.File("theirs.age"), back);
    EXPECT_TRUE(r.ok()) << r.detail;
    EXPECT_TRUE(back == plain);
  }
}

TEST_F(AgeInterop, SeveralRecipientsAndOurKeyFile) {
  const auto third = *X25519Identity::Generate();
  const X25519Recipient a = their_->ToRecipient(), b = ours_->ToRecipient(), c = third.ToRecipient();
  const std::string plain = vesk::testing::RandomBytes(100000, 77);
  const std::string sealed = EncryptFileWithUs({&c, &a, &b}, plain, false);
  // age opens it with its key, and with the key file we wrote.
  for (const char* key : {"their.key", "our.key"}) {
    const auto r = RunProcess({age_, "-d", "-i", dir_.File(key), "-o", dir_.File("by-age"), sealed});
    ASSERT_EQ(r.status, 0) << key << ": " << r.err;
    EXPECT_TRUE(ReadOutput(dir_.File("by-age")) == plain);
  }
  const auto pub = RunProcess({keygen_, "-y", dir_.File("our.key")});
  EXPECT_EQ(pub.out, b.Encode() + "\n");
  // age to three recipients, one of them ours.
  const auto made = RunProcess({age_, "-r", c.Encode(), "-r", b.Encode(), "-r", a.Encode(), "-o",
                                dir_.File("theirs.age"), dir_.File("plain")});
  ASSERT_EQ(made.status, 0) << made.err;
  std::string back;
  EXPECT_TRUE(DecryptFileWithUs({ours_.get()}, dir_.File("theirs.age"), back).ok());
  EXPECT_TRUE(back == plain);
  const auto stranger = *X25519Identity::Generate();
  EXPECT_EQ(DecryptFileWithUs({&stranger}, dir_.File("theirs.age"), back).status, Status::kNoMatchingIdentity);
}

TEST_F(AgeInterop, PassphraseFilesBothWays) {
  const std::string passphrase = "tränen im regen 42";
  const std::string plain = vesk::testing::RandomBytes(70000, 5);
  WriteFile(dir_.File("plain"), plain);
  // age -p (work factor 2^18) -> ours.
  ASSERT_EQ(AgeOnTerminal({"-p", "-o", dir_.File("theirs.age"), dir_.File("plain")}, passphrase, 2), 0);
  const ScryptIdentity right(SecretBytes::FromString(passphrase)), wrong(SecretBytes::FromString("tranen im regen 42"));
  std::string back;
  const Result r = DecryptFileWithUs({&right}, dir_.File("theirs.age"), back);
  EXPECT_TRUE(r.ok()) << r.detail;
  EXPECT_TRUE(back == plain);
  EXPECT_EQ(DecryptFileWithUs({&wrong}, dir_.File("theirs.age"), back).status, Status::kWrongPassphrase);
  // Ours (armored, a low work factor) -> age -d.
  const ScryptRecipient to(SecretBytes::FromString(passphrase), 12);
  const std::string sealed = EncryptFileWithUs({&to}, plain, true);
  ASSERT_EQ(AgeOnTerminal({"-d", "-o", dir_.File("by-age"), sealed}, passphrase, 1), 0);
  EXPECT_TRUE(ReadOutput(dir_.File("by-age")) == plain);
}

}  // namespace
}  // namespace vesk::age
