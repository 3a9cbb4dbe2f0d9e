// The keyed engines against containers made by an independent implementation
// of the format (tests/data/keyed): with the same key and random draws the
// encryption writes exactly those bytes, and the decryption gives back the
// payload, whose plaintext has the recorded SHA-256.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "crypto/keyed/container.h"
#include "crypto/keyed/decrypt_engine.h"
#include "crypto/keyed/encrypt_engine.h"
#include "crypto/keyed/scripted_random.h"
#include "platform/file_io.h"
#include "support/disk.h"
#include "support/faults.h"
#include "support/known_answers.h"
#include "support/recording_reporter.h"
#include "support/temp_dir.h"

namespace vesk::keyed {
namespace {

using testing::FolderEntries;
using testing::KnownAnswer;
using testing::ReadFile;
using testing::RecordingReporter;
using testing::Sha256Hex;
using testing::TempDir;
using testing::WriteFile;

// The window as the decryption sees it: the key, and a decompression that is
// only recorded (the working copy's bytes are kept, the copy deleted).
class Host : public DecryptHost {
 public:
  explicit Host(std::string key) : key_(std::move(key)) {}
  std::string DecryptionKey() override { return key_; }
  void SetHint(Hint, const std::string&) override {}
  void OutputChosen(const std::string& path) override { outputs.push_back(path); }
  bool StartDecompression(const std::string& source, const std::string& dest, bool delete_after) override {
    decompressed = ReadFile(source);
    decompression_dest = dest;
    if (delete_after) DeleteFile(source);
    return true;
  }

  std::vector<std::string> outputs;
  std::string decompressed;  // what the decompression was handed
  std::string decompression_dest;

 private:
  std::string key_;
};

std::string Hex(const std::string& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : bytes) {
    hex.push_back(kDigits[c >> 4]);
    hex.push_back(kDigits[c & 15]);
  }
  return hex;
}

// First differing byte, for a readable failure instead of two long dumps.
std::string FirstDifference(const std::string& got, const std::string& want) {
  std::size_t i = 0;
  while (i < got.size() && i < want.size() && got[i] == want[i]) ++i;
  if (i == got.size() && i == want.size()) return "identical";
  return "length " + std::to_string(got.size()) + " against " + std::to_string(want.size()) +
         ", first difference at byte " + std::to_string(i) + ": " + Hex(got.substr(i, 8)) + " against " +
         Hex(want.substr(i, 8));
}

class KeyedKnownAnswers : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { answers_ = new std::vector<KnownAnswer>(testing::LoadKnownAnswers("keyed")); }
  static void TearDownTestSuite() {
    delete answers_;
    answers_ = nullptr;
  }
  static const std::vector<KnownAnswer>& Answers() { return *answers_; }

  TempDir dir_;

 private:
  static std::vector<KnownAnswer>* answers_;
};
std::vector<KnownAnswer>* KeyedKnownAnswers::answers_ = nullptr;

TEST_F(KeyedKnownAnswers, CoverEveryVersionBothPlacesOfTheHeaderAndBothCompressionFlags) {
  // The data itself: 24 containers, and the variety the tests below rely on.
  ASSERT_EQ(Answers().size(), 24u);
  std::map<int, int> versions;
  int split = 0, compressed = 0, short_keys = 0;
  for (const KnownAnswer& v : Answers()) {
    SCOPED_TRACE(v.name);
    ++versions[v.version];
    split += v.header_offset == 260;
    compressed += v.compression != 0;
    short_keys += v.key.size() < 12;
    EXPECT_EQ(v.needs_older_choice, v.version == 11);
    // The payload is the plaintext, or its zlib stream when compressed.
    EXPECT_EQ(Sha256Hex(v.compression == 0 ? v.payload : testing::ZlibInflate(v.payload)), v.plaintext_sha256);
    // Draws: the filler of a short key, then r1, r2, r3.
    EXPECT_EQ(v.draws.size(), (v.key.size() < 12 ? 12 - v.key.size() : 0) + 3);
  }
  EXPECT_EQ(versions, (std::map<int, int>{{11, 8}, {18, 8}, {33, 8}}));
  EXPECT_EQ(split, 15);
  EXPECT_EQ(compressed, 12);
  EXPECT_GT(short_keys, 0);
}

TEST_F(KeyedKnownAnswers, EncryptionWithTheSameDrawsWritesExactlyTheContainer) {
  // Also when every read of the source comes back short.
  for (const KnownAnswer& v : Answers()) {
    for (const ReadHook& reads : {ReadHook{}, testing::faults::ShortReads(5)}) {
      SCOPED_TRACE(v.name + (reads ? ", short reads" : ""));
      const std::string source = dir_.File(v.compression != 0 ? "payload.bin" : "payload.doc");
      const std::string target = dir_.File("out.jmz");
      WriteFile(source, v.payload);
      DeleteFile(target);

      EncryptJob job;
      job.key = v.key;
      job.source_path = source;
      job.target_path = target;
      job.original_ext = v.ext;
      job.pre_zip_level = static_cast<uint8_t>(v.compression);
      job.layer_number = static_cast<uint8_t>(v.layer);
      job.faults.before_read = reads;
      RecordingReporter r;
      // The older algorithms are offered after eight clicks: Yes then No
      // chooses version 18, Yes then Yes version 11.
      if (v.version != kVersionCurrent) {
        job.info_click_count = 8;
        r.QueueAnswers({true, v.version == kVersionOlder});
      }
      ScriptedRandom random(v.draws);
      r.RunEngine([&](RunContext& context) { return EncryptEngine(job, context, random); });

      ASSERT_TRUE(r.messages.empty()) << r.messages.front();
      EXPECT_EQ(random.Drawn(), v.draws.size());
      EXPECT_EQ(r.questions.size(), v.version == kVersionCurrent ? 0u : 2u);
      const std::string written = ReadFile(target);
      EXPECT_TRUE(written == v.container) << FirstDifference(written, v.container);
      EXPECT_EQ(r.Status(), "加密文件 ... 已完成。");
    }
  }
}

TEST_F(KeyedKnownAnswers, TheFixedBlocksDecodeToTheRecordedFields) {
  for (const KnownAnswer& v : Answers()) {
    SCOPED_TRACE(v.name);
    const auto* bytes = reinterpret_cast<const uint8_t*>(v.container.data());
    const FixedBlocks f = ParseFixedBlocks(std::span(bytes + v.header_offset, v.container.size() - v.header_offset));
    EXPECT_TRUE(f.marker_ok);
    EXPECT_EQ(f.version, v.version);
    EXPECT_EQ(f.layer, v.layer);
    EXPECT_EQ(f.pre_zip_level, v.compression);
    EXPECT_EQ(f.key_length, static_cast<int>(v.key.size()));
    EXPECT_EQ(f.payload_size, static_cast<int64_t>(v.payload.size()));
    EXPECT_EQ(f.ext_length, v.ext.size());
    EXPECT_EQ(f.r1, v.draws[v.draws.size() - 3]);
    EXPECT_EQ(f.r2, v.draws[v.draws.size() - 2]);
    EXPECT_EQ(f.r3, v.draws[v.draws.size() - 1]);
    EXPECT_TRUE(TrailerMatches(ParseTrailer(std::span(bytes + v.container.size() - 16, 16)), f));
  }
}

TEST_F(KeyedKnownAnswers, DecryptionGivesBackThePayloadUnderItsStoredExtension) {
  // Also when every read of the container comes back short.
  for (const KnownAnswer& v : Answers()) {
    for (const ReadHook& reads : {ReadHook{}, testing::faults::ShortReads(3)}) {
      SCOPED_TRACE(v.name + (reads ? ", short reads" : ""));
      const std::string source = dir_.File("c.jmz");
      WriteFile(source, v.container);
      const std::string output = dir_.File("out") + v.ext;  // the stored extensions are ASCII

      DecryptJob job;
      job.source_path = source;
      job.original_ext = ".jmz";
      job.target_path = dir_.File("out");
      job.info_click_count = v.needs_older_choice ? 8 : 0;
      job.faults.before_read = reads;
      RecordingReporter r;
      Host host(v.key);
      RunContext context{r, r, r.RunStopToken()};
      const RunResult result = DecryptFile(job, context, host);
      ShowEnding(result, r, r);

      ASSERT_TRUE(r.messages.empty()) << r.messages.front();
      EXPECT_EQ(host.outputs, std::vector<std::string>{output});
      if (v.compression == 0) {
        ASSERT_TRUE(PathExists(output));
        EXPECT_TRUE(ReadFile(output) == v.payload) << FirstDifference(ReadFile(output), v.payload);
        EXPECT_EQ(Sha256Hex(ReadFile(output)), v.plaintext_sha256);
        EXPECT_EQ(r.Status(), "解密文件 ... 已完成。");
        EXPECT_EQ(result.written, std::vector<std::string>{output});
        DeleteFile(output);
      } else {
        EXPECT_TRUE(HandedOver(result));
        // The decrypted zlib stream goes to the decompression, which writes the output.
        EXPECT_TRUE(host.decompressed == v.payload) << FirstDifference(host.decompressed, v.payload);
        EXPECT_EQ(host.decompression_dest, output);
        EXPECT_EQ(Sha256Hex(testing::ZlibInflate(host.decompressed)), v.plaintext_sha256);
      }
      EXPECT_EQ(FolderEntries(dir_.path()), std::vector<std::string>{"c.jmz"});
    }
  }
}

TEST_F(KeyedKnownAnswers, TheOldestCipherIsReadOnlyAfterTheOlderAlgorithmChoice) {
  for (const KnownAnswer& v : Answers()) {
    if (!v.needs_older_choice) continue;
    SCOPED_TRACE(v.name);
    WriteFile(dir_.File("c.jmz"), v.container);
    DecryptJob job;
    job.source_path = dir_.File("c.jmz");
    job.original_ext = ".jmz";
    job.target_path = dir_.File("out");
    RecordingReporter r;
    Host host(v.key);
    EXPECT_EQ(r.RunEngine([&](RunContext& context) { return DecryptFile(job, context, host); }).code,
              Reason::kUnsupported);
    EXPECT_EQ(r.messages, std::vector<std::string>{"文件是由旧的加密算法加密的,不能解密!解密文件已取消。"});
    EXPECT_TRUE(host.decompressed.empty());
    EXPECT_EQ(FolderEntries(dir_.path()), std::vector<std::string>{"c.jmz"});
  }
}

}  // namespace
}  // namespace vesk::keyed
