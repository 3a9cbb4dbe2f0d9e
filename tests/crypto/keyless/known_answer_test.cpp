// The key-less engines against containers made by an independent
// implementation of the format (tests/data/keyless): with the same key and
// random bytes the encryption writes exactly those bytes, and the decryption
// gives back the plaintext.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "crypto/keyless/engine.h"
#include "platform/file_io.h"
#include "support/disk.h"
#include "support/known_answers.h"
#include "support/recording_reporter.h"
#include "support/temp_dir.h"

namespace vesk::keyless {
namespace {

using testing::FolderEntries;
using testing::KnownAnswer;
using testing::ReadFile;
using testing::RecordingReporter;
using testing::TempDir;
using testing::WriteFile;

// Hands out the recorded twelve bytes first, zeros after them.
class RecordedRandom : public RandomSource {
 public:
  explicit RecordedRandom(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  void Fill(uint8_t* out, std::size_t n) override {
    for (std::size_t i = 0; i < n; ++i, ++next_) out[i] = next_ < bytes_.size() ? bytes_[next_] : 0;
  }

 private:
  std::vector<uint8_t> bytes_;
  std::size_t next_ = 0;
};

class KeylessKnownAnswers : public ::testing::Test {
 protected:
  KeylessKnownAnswers() : answers_(testing::LoadKnownAnswers("keyless")) {}
  KeylessJob Job(const KnownAnswer& v, const std::string& source, const std::string& target) {
    KeylessJob job;
    job.key = v.key;
    job.source_path = source;
    job.target_path = target;
    return job;
  }

  std::vector<KnownAnswer> answers_;
  TempDir dir_;
};

TEST_F(KeylessKnownAnswers, CoverEveryVersionAndPayloadSize) {
  ASSERT_EQ(answers_.size(), 18u);
  std::map<int, int> versions;
  std::map<std::size_t, int> sizes;
  for (const KnownAnswer& v : answers_) {
    SCOPED_TRACE(v.name);
    ++versions[v.version];
    ++sizes[v.payload.size()];
    EXPECT_EQ(testing::Sha256Hex(v.payload), v.plaintext_sha256);
    for (uint8_t b : v.draws) EXPECT_NE(b, 0xFF);  // never drawn
  }
  EXPECT_EQ(versions, (std::map<int, int>{{0, 6}, {20, 6}, {30, 6}}));
  EXPECT_EQ(sizes, (std::map<std::size_t, int>{{1, 6}, {64, 6}, {4099, 6}}));
}

TEST_F(KeylessKnownAnswers, EncryptionWithTheSameRandomBytesWritesExactlyTheContainer) {
  for (const KnownAnswer& v : answers_) {
    SCOPED_TRACE(v.name);
    WriteFile(dir_.File("plain.bin"), v.payload);
    DeleteFile(dir_.File("plain.bin.jmz"));
    KeylessJob job = Job(v, dir_.File("plain.bin"), dir_.File("plain.bin.jmz"));
    RecordingReporter r;
    // After eight clicks: Yes then No chooses version 20, Yes then Yes version 0.
    if (v.version != 30) {
      job.info_click_count = 8;
      r.QueueAnswers({true, v.version == 0});
    }
    RecordedRandom random(v.draws);
    RunContext context{r, r, {}};
    EncryptKeyless(job, context, random);
    ASSERT_TRUE(r.messages.empty()) << r.messages.front();
    EXPECT_EQ(r.questions.size(), v.version == 30 ? 0u : 2u);
    EXPECT_TRUE(ReadFile(dir_.File("plain.bin.jmz")) == v.container);
    EXPECT_EQ(r.Status(), "加密(不保存密钥的)文件 ... 已完成。");
  }
}

TEST_F(KeylessKnownAnswers, DecryptionGivesBackThePlaintext) {
  for (const KnownAnswer& v : answers_) {
    SCOPED_TRACE(v.name);
    WriteFile(dir_.File("c.jmz"), v.container);
    DeleteFile(dir_.File("opened.bin"));
    RecordingReporter r;
    RunContext context{r, r, {}};
    DecryptKeyless(Job(v, dir_.File("c.jmz"), dir_.File("opened.bin")), context);
    ASSERT_TRUE(r.messages.empty()) << r.messages.front();
    EXPECT_TRUE(r.questions.empty());
    const std::string opened = ReadFile(dir_.File("opened.bin"));
    EXPECT_TRUE(opened == v.payload);
    EXPECT_EQ(testing::Sha256Hex(opened), v.plaintext_sha256);
    EXPECT_EQ(r.Status(), "解密(不保存密钥的)文件 ... 已完成。");
    EXPECT_EQ(FolderEntries(dir_.path()), (std::vector<std::string>{"c.jmz", "opened.bin"}));
  }
}

}  // namespace
}  // namespace vesk::keyless
