#include "crypto/keyed/reencryption_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "container_fixture.h"
#include "support/recording_reporter.h"
#include "support/temp_dir.h"

namespace vesk::keyed {
namespace {

using fixture::AssembleContainer;
using fixture::MakeContainer;
using fixture::MakeHeader;
using fixture::Recipe;
using vesk::testing::RandomBytes;
using vesk::testing::RecordingReporter;
using vesk::testing::TempDir;
using vesk::testing::WriteFile;

const char kEmptyKey[] = "不能再次加密!解密密钥是空的,请输入已加密文件的解密密钥。";
const char kNewer[] = "文件是由本软件的更高版本的加密算法加密的,此版本不能再次加密!";
const char kExtLength[] = "加密的文件(被破坏)保存的扩展名长度有误!";
const char kSizeBelow1[] = "加密的文件(被破坏)保存的文件大小数据(错误)小于1字节，不能再次加密!";
const char kSizeAbove4G[] = "加密的文件(被破坏)保存的文件大小数据(错误)大于4GB，不能再次加密!";
const char kTwelve[] = "加密的文件已经加密了12次,不能再次加密!";
const char kKeyLength[] = "加密的文件(被破坏)密钥长度有误,不能再次加密!或者压缩。";
const char kKeyMismatch[] = "解密的密钥与加密的文件里的密钥不相同,不能再次加密!或者压缩。";
const char kReadError[] = "效验文件标识出错！取消加密。";

class ReencryptionTest : public ::testing::Test {
 protected:
  struct Outcome {
    ReencryptionResult result;
    std::vector<std::string> messages;  // the warnings, then the refusal as the window shows it
  };

  std::string Put(const std::string& bytes) {
    const std::string path = dir_.File("chosen" + std::to_string(++files_));
    WriteFile(path, bytes);
    return path;
  }

  Outcome Check(const std::string& bytes, const std::string& key) {
    const std::string path = Put(bytes);
    RecordingReporter r;
    Outcome o;
    o.result = CheckReencryption(path, key, r);
    if (o.result.Refused()) ShowEnding(o.result.ending, r, r);
    o.messages = r.messages;
    return o;
  }

  static void ExpectPassed(const Outcome& o, int layer) {
    EXPECT_FALSE(o.result.Refused());
    EXPECT_EQ(o.result.layer_number, layer);
    EXPECT_TRUE(o.messages.empty()) << o.messages.front();
  }
  static void ExpectRefused(const Outcome& o, const std::string& message) {
    EXPECT_EQ(o.result.ending.outcome, vesk::Outcome::kRefused);
    EXPECT_EQ(o.result.ending.reason, message);
    EXPECT_EQ(o.messages, std::vector<std::string>{message});
  }

  TempDir dir_;
  int files_ = 0;
};

TEST_F(ReencryptionTest, PlainFilePassesAsLayerOneEvenWithoutKey) {
  for (std::size_t size : {std::size_t{1}, std::size_t{11}, std::size_t{100}, std::size_t{2000},
                           std::size_t{5000}}) {
    SCOPED_TRACE(size);
    ExpectPassed(Check(RandomBytes(size, static_cast<uint32_t>(size)), ""), 1);
  }
  ExpectPassed(Check("", ""), 1);
  // Seven bytes that would spell the marker if the four missing ones were zeros.
  ExpectPassed(Check(std::string("\0\0\0.jmz", 7), ""), 1);
}

TEST_F(ReencryptionTest, ContainerGetsTheNextLayerUpToTwelve) {
  for (uint8_t version : {kVersionCurrent, kVersionOld, kVersionOlder}) {
    for (int64_t size : {int64_t{100}, int64_t{1024}, int64_t{4000}}) {
      for (int layer : {1, 2, 11, 12, 200}) {
        SCOPED_TRACE("version " + std::to_string(version) + ", size " + std::to_string(size) + ", layer " +
                     std::to_string(layer));
        Recipe recipe;
        recipe.version = version;
        recipe.layer = static_cast<uint8_t>(layer);
        const Outcome o = Check(MakeContainer(recipe, RandomBytes(static_cast<std::size_t>(size), 1)), recipe.key);
        if (layer <= 11) {
          ExpectPassed(o, layer + 1);
        } else {
          ExpectRefused(o, kTwelve);
        }
      }
    }
  }
}

TEST_F(ReencryptionTest, VersionsUpTo35AreAccepted) {
  // The thresholds of the decoding: 12/13 (g), 19/20 (key-check form), 29/30
  // (second masking of the length block).
  for (int version : {11, 12, 13, 19, 20, 29, 30, 33, 35}) {
    for (int64_t size : {int64_t{500}, int64_t{2500}}) {
      SCOPED_TRACE("version " + std::to_string(version) + ", size " + std::to_string(size));
      Recipe recipe;
      recipe.version = static_cast<uint8_t>(version);
      recipe.key = "k";
      recipe.draws.r2 = 3;
      const std::string bytes = MakeContainer(recipe, RandomBytes(static_cast<std::size_t>(size), 3));
      ExpectPassed(Check(bytes, "k"), 2);
      ExpectRefused(Check(bytes, "j"), kKeyMismatch);
    }
  }
  for (int version : {36, 255}) {
    Recipe recipe;
    recipe.version = static_cast<uint8_t>(version);
    ExpectRefused(Check(MakeContainer(recipe, RandomBytes(500, 4)), recipe.key), kNewer);
  }
}

TEST_F(ReencryptionTest, ContainerNeedsItsOwnKey) {
  Recipe recipe;
  recipe.key = "abc\r\ndef";
  const std::string bytes = MakeContainer(recipe, RandomBytes(600, 5));  // 657 bytes: one attempt
  ExpectPassed(Check(bytes, "abc\r\ndef"), 2);
  ExpectRefused(Check(bytes, ""), kEmptyKey);
  ExpectRefused(Check(bytes, "abc\r\ndef\r\n"), kKeyMismatch);
  ExpectRefused(Check(bytes, "abc\ndef"), kKeyMismatch);
  ExpectRefused(Check(bytes, "abc\r\ndeF"), kKeyMismatch);
  ExpectRefused(Check(bytes, "Abc\r\ndef"), kKeyMismatch);
  // Only the stored length counts, not the padded block: a key of 12 bytes
  // made of the padded block of a short key is refused.
  Recipe short_key;
  short_key.key = "ab";
  ExpectRefused(Check(MakeContainer(short_key, RandomBytes(600, 6)), fixture::PaddedKey(short_key)), kKeyMismatch);
}

TEST_F(ReencryptionTest, DamagedKeyLengthIsAKeyFailure) {
  for (int n : {0, -1, 2057}) {
    SCOPED_TRACE(n);
    Header h = MakeHeader(Recipe{}, 600);
    fixture::SetStoredKeyLength(h, n);
    ExpectRefused(Check(AssembleContainer(h, RandomBytes(600, 7)), "secret"), kKeyLength);
  }
}

TEST_F(ReencryptionTest, FileSizeDecidesTheOffsetsExamined) {
  Recipe recipe;
  recipe.ext = "";
  // A split container (header at 260) cut or padded to a given length, and a
  // container with its header at 0 padded to a given length.
  const std::string split = MakeContainer(recipe, RandomBytes(1024, 8));  // 1073 bytes
  const std::string at0 = MakeContainer(recipe, RandomBytes(900, 9));     // 949 bytes
  auto sized = [](std::string bytes, std::size_t length) {
    bytes.resize(length, '\0');
    return bytes;
  };
  // Up to 1032 bytes: offset 0 only.
  ExpectPassed(Check(sized(split, 1032), recipe.key), 1);
  ExpectPassed(Check(sized(at0, 1032), recipe.key), 2);
  // 1033 to 3499 bytes: offset 0, then 260.
  ExpectPassed(Check(sized(split, 1033), recipe.key), 2);
  ExpectPassed(Check(split, recipe.key), 2);
  ExpectPassed(Check(sized(split, 3499), recipe.key), 2);
  ExpectPassed(Check(sized(at0, 1033), recipe.key), 2);
  ExpectPassed(Check(sized(at0, 3499), recipe.key), 2);
  // From 3500 bytes: offset 260 only.
  ExpectPassed(Check(sized(split, 3500), recipe.key), 2);
  ExpectPassed(Check(sized(at0, 3500), recipe.key), 1);
}

TEST_F(ReencryptionTest, KeyFailureAtZeroIsDeferredWhileOffset260IsTried) {
  Recipe recipe;
  const std::string bytes = MakeContainer(recipe, RandomBytes(1000, 10));  // 1053 bytes, header at 0
  // The second attempt finds no marker: the first attempt's message.
  ExpectRefused(Check(bytes, "secreX"), kKeyMismatch);
  ExpectRefused(Check(bytes, "longer key"), kKeyMismatch);
  Header h = MakeHeader(recipe, 1000);
  fixture::SetStoredKeyLength(h, 3000);
  ExpectRefused(Check(AssembleContainer(h, RandomBytes(1000, 10)), "secret"), kKeyLength);

  // The second attempt finds another container whose key matches: it passes
  // with that container's layer.
  Recipe inner;
  inner.key = "inner key";
  inner.layer = 5;
  std::string nested = MakeContainer(inner, RandomBytes(1500, 11));
  const Header decoy = MakeHeader(recipe, 1000);
  std::vector<uint8_t> lead = decoy.LeadBlocks();
  lead.insert(lead.end(), decoy.key_check.begin(), decoy.key_check.end());
  nested.replace(0, lead.size(), std::string(lead.begin(), lead.end()));
  ExpectPassed(Check(nested, "inner key"), 6);
  ExpectPassed(Check(nested, "secret"), 2);  // the decoy's own key passes at 0
  // Both fail: the second attempt's message.
  ExpectRefused(Check(nested, "x"), kKeyMismatch);
}

TEST_F(ReencryptionTest, ShortReadsAfterAMarkerAreReadErrors) {
  Recipe recipe;
  recipe.key = RandomBytes(300, 12);
  const std::string bytes = MakeContainer(recipe, RandomBytes(100, 13));
  // Marker found, size block cut short.
  for (std::size_t length : {std::size_t{12}, std::size_t{19}}) {
    SCOPED_TRACE(length);
    ExpectRefused(Check(bytes.substr(0, length), recipe.key), kReadError);
  }
  // Key region cut short.
  ExpectRefused(Check(bytes.substr(0, 200), recipe.key), kReadError);
  // Ten bytes: the marker is incomplete, a plain file.
  ExpectPassed(Check(bytes.substr(0, 10), recipe.key), 1);
  // Only the extension length missing: a single byte past the end reads as
  // nothing and the check goes on, to fail on the key region.
  const Outcome o = Check(bytes.substr(0, 20), recipe.key);
  EXPECT_TRUE(o.result.Refused());
  ASSERT_FALSE(o.messages.empty());
  EXPECT_EQ(o.messages.back(), kReadError);
}

TEST_F(ReencryptionTest, PlainSizeRefusalsAreDamageAndTheLayerLimitIsUnsupported) {
  for (uint64_t stored : {uint64_t{0}, (uint64_t{1} << 32) + 1, ~uint64_t{0}}) {
    SCOPED_TRACE(stored);
    Header h = MakeHeader(Recipe{}, 2000);
    fixture::SetStoredSize(h, stored);
    const Outcome o = Check(AssembleContainer(h, RandomBytes(2000, 14)), "secret");
    ExpectRefused(o, stored == 0 ? kSizeBelow1 : kSizeAbove4G);
    EXPECT_EQ(o.result.ending.code, Reason::kDamaged);
  }
  // Exactly 4 GiB passes.
  Header h = MakeHeader(Recipe{}, 2000);
  fixture::SetStoredSize(h, uint64_t{1} << 32);
  ExpectPassed(Check(AssembleContainer(h, RandomBytes(2000, 14)), "secret"), 2);
  Recipe twelve;
  twelve.layer = 12;
  const Outcome o = Check(MakeContainer(twelve, RandomBytes(100, 15)), twelve.key);
  ExpectRefused(o, kTwelve);
  EXPECT_EQ(o.result.ending.code, Reason::kUnsupported);
}

TEST_F(ReencryptionTest, OverlongExtensionLengthWarnsAndReadsFour) {
  Recipe recipe;
  recipe.ext = ".abc";
  for (int64_t size : {int64_t{500}, int64_t{2000}}) {
    Header h = MakeHeader(recipe, size);
    fixture::SetStoredExtLength(h, 216);
    const Outcome o = Check(AssembleContainer(h, RandomBytes(static_cast<std::size_t>(size), 16)), recipe.key);
    EXPECT_FALSE(o.result.Refused());
    EXPECT_EQ(o.result.layer_number, 2);
    EXPECT_TRUE(o.result.damage_warned);
    EXPECT_EQ(o.messages, std::vector<std::string>{kExtLength});
  }
}

}  // namespace
}  // namespace vesk::keyed
