#include "crypto/keyless/cipher.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace vesk::keyless {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr RandomBlock kR = {0x10, 0x21, 0x32, 0x43, 0x54, 0x65, 0x76, 0x87, 0x98, 0xA9, 0xBA, 0xCB};

Bytes ToBytes(std::string_view s) { return Bytes(s.begin(), s.end()); }

// The word phase one word at a time, as written down: a key-stream read
// position that rewinds when fewer than 4 bytes remain, and a running F.
Bytes ReferenceWords(Direction dir, WordMode mode, uint32_t step, const Bytes& k, Bytes data) {
  std::size_t pos = 0;
  auto next_key_word = [&] {
    if (k.size() - pos < 4) pos = 0;
    const uint32_t w = k[pos] | k[pos + 1] << 8 | k[pos + 2] << 16 | static_cast<uint32_t>(k[pos + 3]) << 24;
    pos += 4;
    return w;
  };
  uint32_t f = 0;
  for (std::size_t i = 0; i + 4 <= data.size(); i += 4) {
    f += step;
    uint32_t w = data[i] | data[i + 1] << 8 | data[i + 2] << 16 | static_cast<uint32_t>(data[i + 3]) << 24;
    if (mode == WordMode::kSingle) {
      w ^= f ^ next_key_word();
    } else {
      const uint32_t a = next_key_word();
      const uint32_t b = next_key_word();
      w = dir == Direction::kEncrypt ? (w ^ f ^ a) - b : (w + b) ^ (a ^ f);
    }
    for (int j = 0; j < 4; ++j) data[i + j] = static_cast<uint8_t>(w >> (8 * j));
  }
  return data;
}

TEST(WordCipher, MatchesWordByWordWhateverTheChunks) {
  std::mt19937 gen(7);
  for (std::size_t klen : {12u, 13u, 14u, 15u, 16u, 28u, 2056u}) {
    const Bytes k = ToBytes(testing::RandomBytes(klen, static_cast<uint32_t>(klen)));
    const Bytes plain = ToBytes(testing::RandomBytes(4 * 3000, 99));
    for (WordMode mode : {WordMode::kSingle, WordMode::kTwoWord}) {
      for (Direction dir : {Direction::kEncrypt, Direction::kDecrypt}) {
        SCOPED_TRACE(::testing::Message() << "key stream " << klen << " mode " << int(mode) << " dir " << int(dir));
        const uint32_t step = 0xDEADBEEF;  // wraps F modulo 2^32 quickly
        const Bytes expected = ReferenceWords(dir, mode, step, k, plain);
        WordCipher cipher(dir, mode, step, k);
        Bytes out = plain;
        std::size_t at = 0;
        while (at < out.size()) {
          const std::size_t words = std::uniform_int_distribution<std::size_t>(0, 1500)(gen);
          const std::size_t n = std::min(out.size() - at, 4 * words);
          cipher.Transform(std::span(out).subspan(at, n));
          at += n;
        }
        EXPECT_EQ(out, expected);
        EXPECT_EQ(cipher.WordsDone(), plain.size() / 4);
      }
    }
  }
}

TEST(WordCipher, TwoWordVariantIgnoresTheLastBytesOfALongKeyStream) {
  // With 13 bytes the words use bytes 0 .. 11 only: byte 12 changes nothing.
  Bytes k = ToBytes(testing::RandomBytes(13, 5));
  const Bytes plain = ToBytes(testing::RandomBytes(400, 6));
  Bytes a = plain;
  WordCipher(Direction::kEncrypt, WordMode::kTwoWord, 1, k).Transform(a);
  k[12] ^= 0xFF;
  Bytes b = plain;
  WordCipher(Direction::kEncrypt, WordMode::kTwoWord, 1, k).Transform(b);
  EXPECT_EQ(a, b);
}

// Containers worked out by hand from the formulas.
TEST(Container, KnownBytes) {
  const Bytes trailer = {0x0C, 0x3D, 0x2E, 0x5F, 0x48, 0x79, 0x6A, 0x9B, 0x84, 0xB5,
                         0xA6, 0xD7, 0x14, 0x43, 0x31, 0x39, 0x6A, 0x91, 0xA1, 0x8A};
  const Bytes r(kR.begin(), kR.end());
  auto container = [&](Bytes head, Bytes payload) {
    head.insert(head.end(), r.begin(), r.end());
    head.insert(head.end(), payload.begin(), payload.end());
    head.insert(head.end(), trailer.begin(), trailer.end());
    return head;
  };
  // One byte, key "A", version 30: 39 bytes, the tail byte from the folded key.
  EXPECT_EQ(EncryptToContainer(Bytes{0x5A}, "A", Version::kCurrent, kR),
            container({0xA2, 0x3C, 0x0C, 0x48, 0x4F, 0x58}, {0x97}));
  // The same in version 0: 37 bytes, no header bytes, the unfolded key.
  EXPECT_EQ(EncryptToContainer(Bytes{0x5A}, "A", Version::kOlder, kR),
            container({0x0C, 0x48, 0x4F, 0x58}, {0xD5}));
  // Version 20 with a 13-byte key: one word and three tail bytes.
  EXPECT_EQ(EncryptToContainer(ToBytes("payload"), "Key-13-bytes!", Version::kOld, kR),
            container({0xA2, 0x36, 0x0C, 0x48, 0x4F, 0x58}, {0xB0, 0xDC, 0x93, 0xAB, 0x41, 0xED, 0xDA}));
  // Version 30 with a 13-byte key (folded to 16): two words and a tail byte.
  EXPECT_EQ(EncryptToContainer(ToBytes("ninebytes"), "Key-13-bytes!", Version::kCurrent, kR),
            container({0xA2, 0x3C, 0x0C, 0x48, 0x4F, 0x58}, {0x76, 0xFE, 0x38, 0x2D, 0x8A, 0x18, 0x71, 0x6A, 0x99}));

  // Four words through a three-word cycle: the two-word reads wrap mid-word.
  const Bytes v20 = EncryptToContainer(ToBytes("0123456789abcdef"), "Key-13-bytes!", Version::kOld, kR);
  EXPECT_EQ(Bytes(v20.begin() + 18, v20.begin() + 34), (Bytes{0xF0, 0x0C, 0xDF, 0xDA, 0xCE, 0x7C, 0x99, 0xF4, 0x0E,
                                                              0xCD, 0x23, 0x71, 0xB1, 0x11, 0x8E, 0xA5}));
  const Bytes v0 = EncryptToContainer(ToBytes("thirteen-byte"), "AB", Version::kOlder, kR);
  EXPECT_EQ(Bytes(v0.begin() + 16, v0.begin() + 29),
            (Bytes{0x35, 0x4A, 0xD0, 0xA9, 0x12, 0x02, 0x68, 0x71, 0x0C, 0x39, 0x4B, 0x28, 0x2C}));
  const Bytes v30 = EncryptToContainer(ToBytes("0123456789abcdef"), "Key-12-bytes", Version::kCurrent, kR);
  EXPECT_EQ(Bytes(v30.begin() + 18, v30.begin() + 34), (Bytes{0xF4, 0xCA, 0x80, 0x97, 0xB8, 0xB1, 0x6F, 0x5C, 0x66,
                                                              0x1B, 0x42, 0x18, 0xB5, 0x7F, 0xDF, 0xC2}));
}

TEST(Container, RoundTripsEveryVersionAcrossBoundaries) {
  const std::vector<std::size_t> sizes = {1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 4095, 4096, 4097, 4103, 4104, 4105, 8209};
  const std::vector<std::size_t> key_lengths = {1, 2, 3, 11, 12, 13, 14, 15, 16, 255, 2056};
  for (Version v : {Version::kOlder, Version::kOld, Version::kCurrent}) {
    for (std::size_t kl : key_lengths) {
      const std::string key = testing::RandomBytes(kl, static_cast<uint32_t>(kl * 31));
      for (std::size_t n : sizes) {
        SCOPED_TRACE(::testing::Message() << "version " << int(v) << " key " << kl << " size " << n);
        const Bytes plain = ToBytes(testing::RandomBytes(n, static_cast<uint32_t>(n)));
        const Bytes c = EncryptToContainer(plain, key, v, kR);
        ASSERT_EQ(static_cast<int64_t>(c.size()), ContainerSize(static_cast<int64_t>(n), v));
        const auto opened = DecryptContainer(c, key);
        ASSERT_TRUE(opened);
        EXPECT_EQ(opened->format.effective_version, static_cast<uint8_t>(v));
        ASSERT_EQ(opened->plain, plain);
      }
    }
  }
}

TEST(Container, WrongKeyGivesWrongBytesOfTheRightLength) {
  const Bytes plain = ToBytes(testing::RandomBytes(1001, 3));
  for (Version v : {Version::kOlder, Version::kOld, Version::kCurrent}) {
    const auto opened = DecryptContainer(EncryptToContainer(plain, "right key", v, kR), "wrong key");
    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->plain.size(), plain.size());
    EXPECT_NE(opened->plain, plain);
  }
}

TEST(Container, VersionsTwentySixToThirtyFourReadAsThirty) {
  const Bytes plain = ToBytes(testing::RandomBytes(77, 4));
  Bytes c = EncryptToContainer(plain, "key", Version::kCurrent, kR);
  for (uint8_t v = 26; v <= 34; ++v) {
    c[1] = v ^ kR[8] ^ kR[10];
    const auto opened = DecryptContainer(c, "key");
    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->format.stored_version, v);
    EXPECT_EQ(opened->plain, plain);
  }
  // Version 25 reads as the old two-word variant: the bytes no longer match.
  c[1] = 25 ^ kR[8] ^ kR[10];
  EXPECT_NE(DecryptContainer(c, "key")->plain, plain);
}

TEST(Container, NoPayloadIsNoContainer) {
  Bytes c = EncryptToContainer(Bytes{1}, "k", Version::kCurrent, kR);
  c.erase(c.begin() + 18);  // 38 bytes: marker intact, N = 0
  EXPECT_FALSE(DecryptContainer(c, "k"));
  EXPECT_FALSE(DecryptContainer(Bytes(100, 0x55), "k"));
}

}  // namespace
}  // namespace vesk::keyless
