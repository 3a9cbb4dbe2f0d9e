#include "crypto/keyed/container.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "crypto/keyed/scripted_random.h"

namespace vesk::keyed {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Pseudo(std::size_t n, uint32_t seed) {
  std::mt19937 gen(seed);
  Bytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>(gen());
  return b;
}

Bytes Slice(const Bytes& b, std::size_t at, std::size_t n) {
  return Bytes(b.begin() + static_cast<std::ptrdiff_t>(at), b.begin() + static_cast<std::ptrdiff_t>(at + n));
}

void Append(Bytes& to, const Bytes& from, std::size_t at, std::size_t n) {
  // Sized first, then copied: GCC 12 misjudges the insert of a subrange here.
  const std::size_t end = to.size();
  to.resize(end + n);
  std::copy_n(from.begin() + static_cast<std::ptrdiff_t>(at), n, to.begin() + static_cast<std::ptrdiff_t>(end));
}

template <typename Block>
void Append(Bytes& to, const Block& block) {
  to.insert(to.end(), block.begin(), block.end());
}

// Enciphers the payload and places the blocks the way the writer does.
Bytes Assemble(const Header& h, const Bytes& payload) {
  Bytes c(payload.size());
  PayloadCipher cipher = h.MakeCipher(CipherDirection::kEncrypt);
  cipher.TransformFinal(payload.data(), c.data(), c.size());
  const std::size_t s = payload.size();
  Bytes out;
  if (s <= 1023) {
    Append(out, h.salt);
    Append(out, h.length);
    Append(out, h.descriptor);
    Append(out, h.key_check);
    Append(out, c);
  } else {
    const auto p = static_cast<std::size_t>(h.insertion_point);
    Append(out, c, 0, 260);
    Append(out, h.salt);
    Append(out, h.length);
    Append(out, h.descriptor);
    Append(out, c, 260, p - 260);
    Append(out, h.key_check);
    Append(out, c, p, s - p);
  }
  Append(out, h.trailer);
  return out;
}

struct Decoded {
  FixedBlocks fixed;
  std::string ext;
  Bytes padded_key;
  Bytes payload;
  bool trailer_ok = false;
};

// Reads a container back through the inverse relations only: the header is
// looked for at 0 and then at 260, the key stream is rebuilt from the
// key-check block.
Decoded Read(const Bytes& c) {
  Decoded d;
  std::size_t at = 0;
  d.fixed = ParseFixedBlocks(Slice(c, 0, kFixedBlocksSize));
  if (!d.fixed.marker_ok) {
    at = 260;
    d.fixed = ParseFixedBlocks(Slice(c, at, kFixedBlocksSize));
  }
  EXPECT_TRUE(d.fixed.marker_ok);
  const FixedBlocks& f = d.fixed;
  const std::size_t e = f.ext_length;
  const std::size_t l = std::max<std::size_t>(static_cast<std::size_t>(f.key_length), 12);
  const auto s = static_cast<std::size_t>(f.payload_size);
  d.ext = DecodeExtension(Slice(c, at + 21, e), f.m1, f.m2);
  const std::size_t g = f.version >= 13 ? (f.r2 & 0xFC) : f.r2;
  const std::size_t key_check_at = s > 1023 ? 281 + e + g : 21 + e;
  d.padded_key = DecodeKeyCheck(Slice(c, key_check_at, l), f.r2, f.m1, f.m3, f.version);

  Bytes cipher_text;
  if (s <= 1023) {
    Append(cipher_text, c, 21 + e + l, s);
  } else {
    Append(cipher_text, c, 0, 260);
    Append(cipher_text, c, 281 + e, g);
    Append(cipher_text, c, 281 + e + g + l, s - 260 - g);
  }
  const Bytes k = BuildKeyStream(d.padded_key, f.r1, f.r2, f.r3);
  PayloadCipher cipher(CipherDirection::kDecrypt, k, f.version, d.padded_key[0]);
  d.payload.resize(s);
  cipher.TransformFinal(cipher_text.data(), d.payload.data(), s);
  d.trailer_ok = TrailerMatches(ParseTrailer(Slice(c, c.size() - 16, 16)), f);
  return d;
}

ContainerParams Params(std::string key, uint8_t version, int64_t size, std::string ext = ".txt") {
  ContainerParams p;
  p.key = std::move(key);
  p.version = version;
  p.payload_size = size;
  p.ext = std::move(ext);
  p.layer = 1;
  p.pre_zip_level = 0;
  return p;
}

// Draws for a key of n bytes: fillers, then r1, r2, r3.
ScriptedRandom Draws(std::size_t n, uint8_t r1, uint8_t r2, uint8_t r3, uint8_t filler = 0x55) {
  std::vector<uint8_t> v(n < 12 ? 12 - n : 0, filler);
  v.push_back(r1);
  v.push_back(r2);
  v.push_back(r3);
  return ScriptedRandom(v);
}

// ---------------------------------------------------------------------------

TEST(BuildHeader, BlockBytesFollowTheFormulas) {
  // key "abc" (n = 3), r1 = 1, r2 = 2, r3 = 3, V = 33, z = 0, layer 1:
  // b0 = ((3 + 1) ^ 2) ^ 3 = 5, b1 = ((0 + 2) ^ 3) ^ 1 = 0, b2 = (0 + 3) ^ 1 = 2,
  // k = 5, m1 = 4, m2 = 7, m3 = 6, t = 1 ^ 7 ^ 4 = 2.
  ScriptedRandom random = Draws(3, 1, 2, 3, 0x40);
  const Header h = BuildHeader(Params("abc", 33, 10, ".a"), random);
  EXPECT_EQ(random.Drawn(), 12u);
  EXPECT_EQ(h.length, (std::array<uint8_t, 3>{5, 0, 2}));
  EXPECT_EQ(h.salt, (std::array<uint8_t, 4>{4, 7, 6, 2}));
  ASSERT_EQ(h.descriptor.size(), 16u);
  EXPECT_EQ(h.descriptor[0], 0x2E ^ 2);
  EXPECT_EQ(h.descriptor[1], 0x6A ^ 5);
  EXPECT_EQ(h.descriptor[2], 0x6D ^ 0);
  EXPECT_EQ(h.descriptor[3], 0x7A ^ 2);
  EXPECT_EQ(h.descriptor[4], 4 ^ 33);
  EXPECT_EQ(h.descriptor[5], 10 ^ 7 ^ 0 ^ 6);   // S_0 ^ m2 ^ 0 ^ m3
  EXPECT_EQ(h.descriptor[6], 0 ^ 7 ^ 31 ^ 6);   // S_1 ^ m2 ^ 31 ^ m3
  EXPECT_EQ(h.descriptor[12], 7 ^ 217 ^ 6);     // 31 * 7 = 217
  EXPECT_EQ(h.descriptor[13], 2 ^ 7 ^ 6);       // e = E ^ m2 ^ m3
  EXPECT_EQ(h.descriptor[14], '.' ^ 4 ^ 1 ^ 7);
  EXPECT_EQ(h.descriptor[15], 'a' ^ 4 ^ 2 ^ 7);
  // Key stream K[i] = (((PK[i] ^ r1) + c(i)) + r2) ^ r3.
  ASSERT_EQ(h.key_stream.size(), 12u);
  EXPECT_EQ(h.key_stream[0], ((('a' ^ 1) + 1 + 2) ^ 3) & 0xFF);
  EXPECT_EQ(h.key_stream[3], (((0x40 ^ 1) + 4 + 2) ^ 3) & 0xFF);
  // Key check (V >= 20): (((PK[i] ^ c(i)) ^ r2) ^ m1) + m3.
  EXPECT_EQ(h.key_check[0], (((('a' ^ 1) ^ 2) ^ 4) + 6) & 0xFF);
  EXPECT_EQ(h.key_check[11], ((((0x40 ^ 12) ^ 2) ^ 4) + 6) & 0xFF);
  // Trailer.
  EXPECT_EQ(h.trailer[0], 4 ^ 0x1F);
  EXPECT_EQ(h.trailer[6], 2 ^ 0x1F);
  EXPECT_EQ(h.trailer[7], (2 ^ 7 ^ 6) ^ 0x1F);
  EXPECT_EQ(h.trailer[8], 'V' ^ (4 ^ 7 ^ 6));
  EXPECT_EQ(h.trailer[15], 0xDC ^ (4 ^ 7 ^ 6));
}

TEST(BuildHeader, OldVersionsMaskLengthOnceAndAddTheCounterInTheKeyCheck) {
  // Same draws as above with V = 18: b0 = (3 + 1) ^ 2 = 6, b1 = (0 + 2) ^ 3 = 1,
  // b2 = 2, k = 7, m1 = 6, m2 = 5, m3 = 4.
  ScriptedRandom random = Draws(3, 1, 2, 3, 0x40);
  const Header h = BuildHeader(Params("abc", 18, 10), random);
  EXPECT_EQ(h.length, (std::array<uint8_t, 3>{6, 1, 2}));
  EXPECT_EQ(h.salt[0], 6);
  EXPECT_EQ(h.salt[1], 5);
  EXPECT_EQ(h.salt[2], 4);
  // Key check (V < 20): ((((PK[i] + c(i)) ^ r2) + m1) ^ m3.
  EXPECT_EQ(h.key_check[0], (((('a' + 1) ^ 2) + 6) & 0xFF) ^ 4);
  const HeaderPrefix p = ParseHeaderPrefix(h.LeadBlocks());
  EXPECT_EQ(p.key_length, 3);
  EXPECT_EQ(p.version, 18);
}

TEST(BuildHeader, DrawsFillersBeforeTheSaltBytes) {
  {
    ScriptedRandom random{9, 1, 2, 3};  // one filler for an 11-byte key
    const Header h = BuildHeader(Params("0123456789A", 33, 5), random);
    EXPECT_EQ(random.Drawn(), 4u);
    EXPECT_EQ(h.r1, 1);
    EXPECT_EQ(h.r2, 2);
    EXPECT_EQ(h.r3, 3);
    const Bytes pk = DecodeKeyCheck(h.key_check, h.r2, h.salt[0], h.salt[2], h.version);
    EXPECT_EQ(pk.size(), 12u);
    EXPECT_EQ(pk[11], 9);
  }
  {
    ScriptedRandom random{1, 2, 3};  // a 12-byte key has no filler
    const Header h = BuildHeader(Params("0123456789AB", 33, 5), random);
    EXPECT_EQ(random.Drawn(), 3u);
    EXPECT_EQ(h.PaddedKeyLength(), 12u);
  }
}

TEST(BuildHeader, RejectsKeysAndSizesOutsideTheirRanges) {
  ScriptedRandom random(std::vector<uint8_t>(100, 0));
  EXPECT_THROW(BuildHeader(Params("", 33, 5), random), std::invalid_argument);
  EXPECT_THROW(BuildHeader(Params(std::string(2057, 'k'), 33, 5), random), std::invalid_argument);
  EXPECT_THROW(BuildHeader(Params("k", 33, 0), random), std::invalid_argument);
  EXPECT_THROW(BuildHeader(Params("k", 33, kMaxPayloadSize + 1), random), std::invalid_argument);
}

TEST(BuildHeader, FourGigabytePayloadSizeField) {
  ScriptedRandom random = Draws(4, 10, 20, 30);
  const Header h = BuildHeader(Params("abcd", 33, kMaxPayloadSize), random);
  const uint8_t m2 = h.salt[1], m3 = h.salt[2];
  const uint8_t unmasked_expected[8] = {0, 0, 0, 0, 1, 0, 0, 0};
  for (int j = 0; j < 8; ++j) {
    EXPECT_EQ(h.descriptor[5 + j] ^ m2 ^ ((31 * j) & 0xFF) ^ m3, unmasked_expected[j]) << "byte " << j;
  }
  EXPECT_EQ(ParseFixedBlocks(h.LeadBlocks()).payload_size, kMaxPayloadSize);
}

TEST(BuildHeader, ExtensionLengths) {
  {
    ScriptedRandom random = Draws(4, 10, 20, 30);
    const Header h = BuildHeader(Params("abcd", 33, 5, ""), random);
    EXPECT_EQ(h.ExtensionLength(), 0u);
    EXPECT_EQ(h.descriptor.size(), 14u);
    EXPECT_EQ(h.descriptor[13], h.salt[1] ^ h.salt[2]);  // e = m2 ^ m3
  }
  {
    ScriptedRandom random = Draws(4, 10, 20, 30);
    const Header h = BuildHeader(Params("abcd", 33, 5, "." + std::string(214, 'x')), random);
    EXPECT_EQ(h.ExtensionLength(), 215u);
    EXPECT_FALSE(h.extension_dropped);
  }
  // Readers take a length above 215 as damage, so such an extension is not
  // stored at all and the container stays readable.
  for (std::size_t len : {216u, 256u, 300u}) {
    ScriptedRandom random = Draws(4, 10, 20, 30);
    const Header h = BuildHeader(Params("abcd", 33, 2000, "." + std::string(len - 1, 'x')), random);
    EXPECT_EQ(h.ExtensionLength(), 0u);
    EXPECT_TRUE(h.extension_dropped);
    EXPECT_EQ(h.descriptor[13], h.salt[1] ^ h.salt[2]);
    const Decoded d = Read(Assemble(h, Pseudo(2000, 1)));
    EXPECT_EQ(d.fixed.ext_length, 0);
    EXPECT_EQ(d.ext, "");
  }
}

TEST(Layout, WorkedExampleOfASplitContainer) {
  // S = 5000, E = 4, L = 12, V = 33, r2 = 40, so P = 300.
  const std::string key = "key-of-12-by";
  ScriptedRandom random = Draws(12, 77, 40, 201);
  ContainerParams params = Params(key, 33, 5000, ".doc");
  params.layer = 3;
  params.pre_zip_level = 2;
  const Header h = BuildHeader(params, random);
  EXPECT_TRUE(h.Split());
  EXPECT_EQ(h.insertion_point, 300);
  EXPECT_EQ(h.ContainerLength(), 5053);
  const ContainerLayout layout = h.Layout();
  EXPECT_EQ(layout.header_offset, 260);
  EXPECT_EQ(layout.key_check_offset, 325);
  EXPECT_EQ(layout.trailer_offset, 5037);

  const Bytes payload = Pseudo(5000, 42);
  Bytes c(5000);
  h.MakeCipher(CipherDirection::kEncrypt).TransformFinal(payload.data(), c.data(), c.size());

  // Place every block at the offsets of the example.
  Bytes file(5053, 0);
  std::copy(c.begin(), c.begin() + 260, file.begin());
  std::copy(h.salt.begin(), h.salt.end(), file.begin() + 260);
  std::copy(h.length.begin(), h.length.end(), file.begin() + 264);
  ASSERT_EQ(h.descriptor.size(), 18u);
  std::copy(h.descriptor.begin(), h.descriptor.end(), file.begin() + 267);
  std::copy(c.begin() + 260, c.begin() + 300, file.begin() + 285);
  std::copy(h.key_check.begin(), h.key_check.end(), file.begin() + 325);
  std::copy(c.begin() + 300, c.end(), file.begin() + 337);
  std::copy(h.trailer.begin(), h.trailer.end(), file.begin() + 5037);
  EXPECT_EQ(file, Assemble(h, payload));

  const Decoded d = Read(file);
  EXPECT_EQ(d.fixed.r1, 77);
  EXPECT_EQ(d.fixed.r2, 40);
  EXPECT_EQ(d.fixed.r3, 201);
  EXPECT_EQ(d.fixed.version, 33);
  EXPECT_EQ(d.fixed.layer, 3);
  EXPECT_EQ(d.fixed.pre_zip_level, 2);
  EXPECT_EQ(d.fixed.key_length, 12);
  EXPECT_EQ(d.fixed.payload_size, 5000);
  EXPECT_EQ(d.fixed.ext_length, 4);
  EXPECT_EQ(d.ext, ".doc");
  EXPECT_EQ(d.padded_key, Bytes(key.begin(), key.end()));
  EXPECT_EQ(d.payload, payload);
  EXPECT_TRUE(d.trailer_ok);
}

TEST(Layout, SmallestContainerHasFiftyBytes) {
  ScriptedRandom random = Draws(1, 5, 6, 7);
  const Header h = BuildHeader(Params("x", 33, 1, ""), random);
  EXPECT_EQ(random.Drawn(), 14u);
  EXPECT_EQ(h.ContainerLength(), 50);
  const Bytes file = Assemble(h, {0x99});
  ASSERT_EQ(file.size(), 50u);
  const ContainerLayout layout = h.Layout();
  EXPECT_EQ(layout.header_offset, 0);
  EXPECT_EQ(layout.key_check_offset, 21);
  EXPECT_EQ(layout.payload_offset, 33);
  EXPECT_EQ(layout.trailer_offset, 34);
  const Decoded d = Read(file);
  EXPECT_EQ(d.payload, Bytes{0x99});
  EXPECT_EQ(d.padded_key[0], 'x');
  EXPECT_EQ(d.padded_key[1], 0x55);  // filler
}

TEST(Layout, HeaderMovesInsideThePayloadFrom1024Bytes) {
  for (int64_t s : {1023, 1024}) {
    ScriptedRandom random = Draws(12, 1, 100, 2);
    const Header h = BuildHeader(Params("abcdefghijkl", 33, s), random);
    const ContainerLayout layout = h.Layout();
    EXPECT_EQ(layout.split, s == 1024);
    EXPECT_EQ(layout.header_offset, s == 1024 ? 260 : 0);
    EXPECT_EQ(layout.key_check_offset, s == 1024 ? 260 + 100 + 25 : 25);
    EXPECT_EQ(layout.total_length, s + 4 + 12 + 37);
  }
}

TEST(Layout, InsertionPointByVersionAndR2) {
  for (uint8_t r2 = 0; r2 <= 3; ++r2) {
    EXPECT_EQ(InsertionPoint(r2, 33), 260);
    EXPECT_EQ(InsertionPoint(r2, 18), 260);
  }
  EXPECT_EQ(InsertionPoint(4, 33), 264);
  EXPECT_EQ(InsertionPoint(254, 33), 512);
  EXPECT_EQ(InsertionPoint(3, 11), 263);
  EXPECT_EQ(InsertionPoint(41, 11), 301);
  EXPECT_EQ(InsertionPoint(254, 11), 514);

  // P = 260: the key-check block directly follows the descriptor.
  ScriptedRandom random = Draws(12, 9, 3, 9);
  const Header h = BuildHeader(Params("abcdefghijkl", 18, 4000, ".bin"), random);
  EXPECT_EQ(h.Layout().key_check_offset, 260 + 21 + 4);
  const Bytes file = Assemble(h, Pseudo(4000, 3));
  EXPECT_TRUE(std::equal(h.key_check.begin(), h.key_check.end(), file.begin() + 285));
}

TEST(RoundTrip, AllVersionsAroundEveryBoundary) {
  const int64_t sizes[] = {1, 2, 3, 4, 5, 259, 260, 261, 1023, 1024, 1025, 1026, 1027, 1028, 3000, 5003};
  for (uint8_t version : {uint8_t{33}, uint8_t{18}, uint8_t{11}}) {
    for (uint8_t r2 : {uint8_t{0}, uint8_t{3}, uint8_t{41}, uint8_t{254}}) {
      for (int64_t s : sizes) {
        ScriptedRandom random = Draws(5, 200, r2, 17, 0x21);
        const Header h = BuildHeader(Params("pass\x01", version, s, ".jpeg"), random);
        const Bytes payload = Pseudo(static_cast<std::size_t>(s), static_cast<uint32_t>(s));
        const Bytes file = Assemble(h, payload);
        ASSERT_EQ(static_cast<int64_t>(file.size()), h.ContainerLength());
        const Decoded d = Read(file);
        ASSERT_EQ(d.payload, payload) << "V=" << int(version) << " r2=" << int(r2) << " S=" << s;
        EXPECT_EQ(d.fixed.payload_size, s);
        EXPECT_EQ(d.fixed.key_length, 5);
        EXPECT_EQ(d.ext, ".jpeg");
        EXPECT_TRUE(d.trailer_ok);
      }
    }
  }
}

TEST(RoundTrip, LongestKeyAndChineseKey) {
  {
    std::string key(2056, '\0');
    for (std::size_t i = 0; i < key.size(); ++i) key[i] = static_cast<char>(i * 7 + 1);
    for (uint8_t version : {uint8_t{33}, uint8_t{11}}) {
      ScriptedRandom random = Draws(2056, 3, 4, 5);
      const Header h = BuildHeader(Params(key, version, 6000), random);
      EXPECT_EQ(h.PaddedKeyLength(), 2056u);
      const Bytes payload = Pseudo(6000, 8);
      const Decoded d = Read(Assemble(h, payload));
      EXPECT_EQ(d.fixed.key_length, 2056);  // nHigh = 8 survives the masking
      EXPECT_EQ(d.padded_key, Bytes(key.begin(), key.end()));
      EXPECT_EQ(d.payload, payload);
    }
  }
  {
    // "密钥\r\n测试" in code page 936.
    const std::string key = "\xC3\xDC\xD4\xBF\r\n\xB2\xE2\xCA\xD4";
    ScriptedRandom random = Draws(key.size(), 250, 251, 252);
    const Header h = BuildHeader(Params(key, 33, 2500, ".\xCE\xC4"), random);
    EXPECT_EQ(h.first_key_byte, 0xC3);
    const Bytes payload = Pseudo(2500, 10);
    const Decoded d = Read(Assemble(h, payload));
    EXPECT_EQ(d.fixed.key_length, 10);
    EXPECT_EQ(Bytes(d.padded_key.begin(), d.padded_key.begin() + 10), Bytes(key.begin(), key.end()));
    EXPECT_EQ(d.ext, ".\xCE\xC4");
    EXPECT_EQ(d.payload, payload);
  }
}

TEST(Reading, PrefixAndTrailerRejectDamage) {
  EXPECT_FALSE(ParseHeaderPrefix(Bytes(12, 0)).marker_ok);
  EXPECT_THROW(ParseHeaderPrefix(Bytes(11, 0)), std::invalid_argument);
  EXPECT_THROW(ParseFixedBlocks(Bytes(20, 0)), std::invalid_argument);
  EXPECT_THROW(ParseTrailer(Bytes(15, 0)), std::invalid_argument);

  ScriptedRandom random = Draws(4, 10, 20, 30);
  const Header h = BuildHeader(Params("abcd", 33, 100), random);
  Bytes lead = h.LeadBlocks();
  EXPECT_TRUE(ParseHeaderPrefix(lead).marker_ok);
  lead[9] ^= 1;
  EXPECT_FALSE(ParseHeaderPrefix(lead).marker_ok);

  const FixedBlocks fixed = ParseFixedBlocks(h.LeadBlocks());
  EXPECT_TRUE(TrailerMatches(ParseTrailer(h.trailer), fixed));
  Bytes trailer(h.trailer.begin(), h.trailer.end());
  trailer[15] ^= 0x80;
  EXPECT_FALSE(ParseTrailer(trailer).marker_ok);
  trailer = Bytes(h.trailer.begin(), h.trailer.end());
  trailer[7] ^= 1;  // e differs from the descriptor's
  EXPECT_TRUE(ParseTrailer(trailer).marker_ok);
  EXPECT_FALSE(TrailerMatches(ParseTrailer(trailer), fixed));
}

TEST(Reading, DamagedKeyLengthReadsAsSigned) {
  // Forge a length block whose decoded key length is 0xFFFF.
  const uint8_t r1 = 1, r2 = 2, r3 = 3;
  const uint8_t b0 = static_cast<uint8_t>(((0xFF + r1) & 0xFF) ^ r2 ^ r3);
  const uint8_t b1 = static_cast<uint8_t>(((0xFF + r2) & 0xFF) ^ r3 ^ r1);
  const uint8_t k = b0 ^ b1;
  const uint8_t m1 = r1 ^ k;
  Bytes prefix = {m1, static_cast<uint8_t>(r2 ^ k), static_cast<uint8_t>(r3 ^ k), 0, b0, b1, 0, 0, 0, 0, 0,
                  static_cast<uint8_t>(m1 ^ 33)};
  const HeaderPrefix p = ParseHeaderPrefix(prefix);
  EXPECT_EQ(p.version, 33);
  EXPECT_EQ(p.key_length, -1);
  EXPECT_EQ(p.r1, r1);
}

}  // namespace
}  // namespace vesk::keyed
