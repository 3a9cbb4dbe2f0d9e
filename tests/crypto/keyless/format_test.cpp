#include "crypto/keyless/format.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crypto/keyless/random_source.h"
#include "crypto/keyless/system_random.h"

namespace vesk::keyless {
namespace {

// R used by the worked examples below; every byte is below 255.
constexpr RandomBlock kR = {0x10, 0x21, 0x32, 0x43, 0x54, 0x65, 0x76, 0x87, 0x98, 0xA9, 0xBA, 0xCB};

KeyStream Derive(const std::string& key) { return DeriveKeyStream(Selector(key, kR), key, kR); }

TEST(KeyStream, ShortKeysRunEveryRandomByteThroughTheKey) {
  // "A" = 0x41: m = 5, sel = R6 = 0x76; K0 = (0x10 ^ 0x41) - 0x76 = 0xDB.
  EXPECT_EQ(Derive("A"), (KeyStream{0xDB, 0xEA, 0xFD, 0x8C, 0x9F, 0xAE, 0xC1, 0x50, 0x63, 0x72, 0x85, 0x14}));
  // Two bytes: XOR with the second byte, no subtraction. K0 = 0x10^0x41^0x42 - 0x76.
  EXPECT_EQ(Derive("AB"), (KeyStream{0x9D, 0xAC, 0xBB, 0xCA, 0xE1, 0xF0, 0xFF, 0x0E, 0x25, 0x34, 0x43, 0x52}));
  // The third byte is subtracted: K0 = (0x10^0x41^0x42) - 0x43 - 0x76 = 0x5A.
  EXPECT_EQ(Derive("ABC"), (KeyStream{0x5A, 0x69, 0x78, 0x87, 0x9E, 0xAD, 0xBC, 0xCB, 0xE2, 0xF1, 0x00, 0x0F}));
  EXPECT_EQ(Derive("Key-11bytes"),
            (KeyStream{0x1B, 0x4C, 0x81, 0x2A, 0xDF, 0x10, 0x15, 0xEE, 0xF3, 0xE4, 0xD9, 0xC2}));
}

TEST(KeyStream, LongKeysConsumeTwoRandomBytesPerKeyByte) {
  // "K" = 0x4B: K0 = (0x4B ^ R0) - R1 = 0x5B - 0x21 = 0x3A; sel plays no part.
  EXPECT_EQ(Derive("Key-12-bytes"),
            (KeyStream{0x3A, 0x14, 0xC8, 0xD4, 0x00, 0xBD, 0x1C, 0x0D, 0xC8, 0x7B, 0x54, 0xFE}));
  // The 13th key byte wraps round to R0 and R1 again: ('!' ^ 0x10) - 0x21 = 0x10.
  const KeyStream k13 = Derive("Key-13-bytes!");
  ASSERT_EQ(k13.size(), 13u);
  EXPECT_EQ(k13[12], 0x10);
  EXPECT_EQ(k13[5], 0xBE);  // '3' where the 12-byte key has '2'

  // The selector is ignored on the long path, consulted on the short one;
  // it is R(m+1) for m = first byte mod 10.
  EXPECT_EQ(Selector("\xFF", kR), kR[6]);
  EXPECT_THROW(DeriveKeyStream(0, "", kR), std::invalid_argument);
  EXPECT_EQ(DeriveKeyStream(0, "Key-12-bytes", kR), DeriveKeyStream(99, "Key-12-bytes", kR));
  EXPECT_NE(DeriveKeyStream(0, "Key-11bytes", kR), DeriveKeyStream(99, "Key-11bytes", kR));
}

TEST(KeyStream, FoldPadsWithR8R9R10) {
  // 13 bytes are padded with R8, R9, R10 to 16, then every byte becomes Z - K(i).
  const KeyStream folded = FoldKeyStream(Derive("Key-13-bytes!"), kR);
  EXPECT_EQ(folded, (KeyStream{0xE2, 0x08, 0x54, 0x48, 0x1C, 0x5E, 0x00, 0x0F, 0x54, 0xA1, 0xC8, 0x1E, 0x0C, 0x84,
                               0x73, 0x62}));
  // Z - K(i) for the padding bytes recovers Z from the last one: Z = 0x62 + R10.
  EXPECT_EQ(static_cast<uint8_t>(folded[15] + kR[10]), static_cast<uint8_t>(folded[13] + kR[8]));

  // A multiple of 4 keeps its length: a single pad byte, and no pad at all.
  EXPECT_EQ(FoldKeyStream(KeyStream(15, 1), kR).size(), 16u);
  EXPECT_EQ(FoldKeyStream(KeyStream(12, 1), kR).size(), 12u);
  // Twelve equal bytes b: X = 0, Y = b - 11b = -10b, Z = 10b, K' = 9b.
  EXPECT_EQ(FoldKeyStream(KeyStream(12, 3), kR), KeyStream(12, 27));
}

std::vector<uint8_t> HeadWithVersion(uint8_t version) {
  std::vector<uint8_t> h = BuildHeader(Version::kCurrent, kR);
  h[1] = version ^ kR[8] ^ kR[10];
  return h;
}

TEST(Recognise, VariantTable) {
  const auto v0 = Recognise(BuildHeader(Version::kOlder, kR));
  ASSERT_TRUE(v0);
  EXPECT_EQ(v0->p, 0u);
  EXPECT_EQ(v0->variant, (Variant{false, StepRule::kOlder, WordMode::kTwoWord}));

  for (int v = 0; v < 256; ++v) {
    SCOPED_TRACE(v);
    const auto rec = Recognise(HeadWithVersion(static_cast<uint8_t>(v)));
    ASSERT_TRUE(rec);
    EXPECT_EQ(rec->p, 2u);
    EXPECT_EQ(rec->stored_version, v);
    EXPECT_EQ(rec->newer, v > 35);
    if (v <= 25) {
      EXPECT_EQ(rec->variant, (Variant{false, StepRule::kOld, WordMode::kTwoWord}));
      EXPECT_EQ(rec->effective_version, v);
    } else if (v <= 34) {
      EXPECT_EQ(rec->variant, (Variant{true, StepRule::kCurrent, WordMode::kSingle}));
      EXPECT_EQ(rec->effective_version, 30);
    } else {
      EXPECT_EQ(rec->variant, (Variant{false, StepRule::kCurrent, WordMode::kTwoWord}));
    }
  }
  EXPECT_EQ(ReadRandomBlock(HeadWithVersion(30), 2), kR);
  EXPECT_EQ(ReadRandomBlock(BuildHeader(Version::kOlder, kR), 0), kR);
}

TEST(Recognise, RejectsOtherFiles) {
  EXPECT_FALSE(Recognise(std::vector<uint8_t>(18, 0)));
  // A plain ".jmz" with zero mask bytes would pass; one flipped mask byte fails.
  std::vector<uint8_t> h = BuildHeader(Version::kOlder, kR);
  h[14] ^= 1;
  EXPECT_FALSE(Recognise(h));
  // Too short for either test, even with a valid start.
  const std::vector<uint8_t> full = BuildHeader(Version::kCurrent, kR);
  EXPECT_FALSE(Recognise(std::span(full).first(16)));
  EXPECT_TRUE(Recognise(std::span(full).first(17)));  // offsets 2 .. 5, 14 and 16
  const std::vector<uint8_t> old = BuildHeader(Version::kOlder, kR);
  EXPECT_FALSE(Recognise(std::span(old).first(14)));
  EXPECT_TRUE(Recognise(std::span(old).first(15)));
  EXPECT_FALSE(Recognise({}));
}

// Draws 0 .. 255 in turn.
class CountingRandom : public RandomSource {
 public:
  void Fill(uint8_t* out, std::size_t n) override {
    for (std::size_t i = 0; i < n; ++i) out[i] = next_++;
  }

 private:
  uint8_t next_ = 250;
};

TEST(Random, NeverDraws255) {
  CountingRandom counting;
  EXPECT_EQ(DrawRandomBlock(counting), (RandomBlock{250, 251, 252, 253, 254, 0, 1, 2, 3, 4, 5, 6}));
  SystemRandom system;
  for (int i = 0; i < 200; ++i) {
    for (uint8_t b : DrawRandomBlock(system)) ASSERT_NE(b, 255);
  }
}

}  // namespace
}  // namespace vesk::keyless
