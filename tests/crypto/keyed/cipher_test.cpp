#include "crypto/keyed/cipher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <stdexcept>
#include <vector>

namespace vesk::keyed {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Pseudo(std::size_t n, uint32_t seed) {
  std::mt19937 gen(seed);
  Bytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>(gen());
  return b;
}

uint32_t Le32(const Bytes& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

// Unit-by-unit encipherment exactly as the format describes it: a read
// position with its wrap test before every 4-byte read, a 64-bit accumulator,
// the counter h of the byte cipher.
Bytes ReferenceEncrypt(const Bytes& payload, const Bytes& k, uint8_t version, uint8_t first_key_byte) {
  Bytes out(payload.size());
  const std::size_t length = k.size();
  std::size_t pos = 0;
  if (version <= 12) {
    unsigned h = 1;
    for (std::size_t i = 0; i < payload.size(); ++i) {
      const uint8_t k1 = k[pos];
      pos = (pos + 1) % length;
      const uint8_t k2 = k[pos];
      pos = (pos + 1) % length;
      out[i] = static_cast<uint8_t>((payload[i] ^ (k2 ^ h)) - k1);
      h = h == 255 ? 2 : h + 1;
    }
    return out;
  }
  const uint64_t step = version >= 20 ? ((first_key_byte ^ 0x0C) % 12) * 0x2FFF + 0xFFFF : 0x2FFFF;
  uint64_t a = 0;
  const std::size_t words = payload.size() / 4;
  for (std::size_t i = 0; i < words; ++i) {
    if (length - pos < 4) pos = 0;
    uint32_t k1 = Le32(k, pos);
    pos += 4;
    a += step;
    if (a > 0xFFFFFFFFull) a = step;
    k1 ^= static_cast<uint32_t>(a);
    const uint32_t x = Le32(payload, 4 * i) ^ k1;
    if (length - pos < 4) pos = 0;
    const uint32_t k2 = Le32(k, pos);
    pos += 4;
    const uint32_t y = x - k2;
    for (int b = 0; b < 4; ++b) out[4 * i + b] = static_cast<uint8_t>(y >> (8 * b));
  }
  pos = 0;
  for (std::size_t i = 4 * words; i < payload.size(); ++i) {
    const uint8_t k1 = k[pos++];
    const uint8_t k2 = k[pos++];
    out[i] = static_cast<uint8_t>((payload[i] ^ k2) - k1);
  }
  return out;
}

Bytes RunCipher(CipherDirection dir, const Bytes& in, const Bytes& k, uint8_t version, uint8_t first) {
  PayloadCipher cipher(dir, k, version, first);
  Bytes out(in.size());
  cipher.TransformFinal(in.data(), out.data(), in.size());
  return out;
}

// ---------------------------------------------------------------------------

TEST(WordCipher, AccumulatorRestartsAtStepAfterPassingTwoToTheThirtyTwo) {
  // With an all-zero key stream each output word is the accumulator itself.
  const Bytes k(12, 0);
  const std::size_t words = 21847;
  const Bytes zero(words * 4, 0);
  const Bytes out = RunCipher(CipherDirection::kEncrypt, zero, k, 18, 0);
  const uint32_t step = 196607;
  // floor((2^32 - 1) / 196607) = 21845 words fit before the restart.
  EXPECT_EQ(Le32(out, 0), step);
  EXPECT_EQ(Le32(out, 4), 2 * step);
  EXPECT_EQ(Le32(out, 4 * 21844), 21845u * step);
  EXPECT_EQ(Le32(out, 4 * 21845), step);
  EXPECT_EQ(Le32(out, 4 * 21846), 2 * step);
}

TEST(WordCipher, ThirteenByteKeyStreamReadsOffsetsZeroFourEightAndTailFromStart) {
  Bytes k(13);
  for (std::size_t i = 0; i < k.size(); ++i) k[i] = static_cast<uint8_t>(0x11 * (i + 1));
  const uint8_t first = 'a';
  const uint32_t step = 65535 + 12287;
  const Bytes payload = Pseudo(4 * 4 + 3, 7);
  const Bytes out = RunCipher(CipherDirection::kEncrypt, payload, k, 33, first);

  // Key word offsets per payload word: (0,4), (8,0), (4,8), (0,4); byte 12 unused.
  const std::size_t offsets[4][2] = {{0, 4}, {8, 0}, {4, 8}, {0, 4}};
  for (std::size_t i = 0; i < 4; ++i) {
    const uint32_t k1 = Le32(k, offsets[i][0]) ^ static_cast<uint32_t>((i + 1) * step);
    const uint32_t k2 = Le32(k, offsets[i][1]);
    EXPECT_EQ(Le32(out, 4 * i), (Le32(payload, 4 * i) ^ k1) - k2) << "word " << i;
  }
  // Tail bytes use K[0],K[1] / K[2],K[3] / K[4],K[5].
  for (std::size_t t = 0; t < 3; ++t) {
    EXPECT_EQ(out[16 + t], static_cast<uint8_t>((payload[16 + t] ^ k[2 * t + 1]) - k[2 * t])) << "tail " << t;
  }
}

TEST(WordCipher, MatchesReferenceForManyKeyLengthsAndSizes) {
  // Long enough to cross an accumulator restart for the largest step and to
  // wrap every expanded key table several times.
  const Bytes payload = Pseudo(4 * 22000 + 3, 1);
  for (std::size_t length : {12u, 13u, 14u, 15u, 16u, 17u, 100u, 255u, 1029u, 2055u, 2056u}) {
    const Bytes k = Pseudo(length, static_cast<uint32_t>(length));
    for (uint8_t version : {uint8_t{18}, uint8_t{33}}) {
      for (uint8_t first : {uint8_t{0x07}, uint8_t{0x0C}, uint8_t{0xC3}}) {
        if (version == 18 && first != 0x07) continue;
        const Bytes expected = ReferenceEncrypt(payload, k, version, first);
        ASSERT_EQ(RunCipher(CipherDirection::kEncrypt, payload, k, version, first), expected)
            << "L=" << length << " V=" << int(version) << " first=" << int(first);
        ASSERT_EQ(RunCipher(CipherDirection::kDecrypt, expected, k, version, first), payload)
            << "L=" << length << " V=" << int(version);
      }
    }
  }
}

TEST(WordCipher, PiecewiseStreamingEqualsOneShot) {
  const Bytes k = Pseudo(37, 3);
  const Bytes payload = Pseudo(4 * 30000 + 2, 4);
  const Bytes expected = ReferenceEncrypt(payload, k, 33, k[0]);

  PayloadCipher cipher(CipherDirection::kEncrypt, k, 33, k[0]);
  Bytes out(payload.size());
  std::size_t done = 0;
  const std::size_t pieces[] = {4, 0, 8, 4096, 260, 12, 4 * 1023, 65536};
  for (std::size_t i = 0; payload.size() - done >= 4; ++i) {
    std::size_t n = std::min(pieces[i % std::size(pieces)], (payload.size() - done) / 4 * 4);
    cipher.Transform(payload.data() + done, out.data() + done, n);
    done += n;
  }
  cipher.TransformTail(payload.data() + done, out.data() + done, payload.size() - done);
  EXPECT_EQ(out, expected);

  // In place.
  Bytes buffer = payload;
  PayloadCipher in_place(CipherDirection::kEncrypt, k, 33, k[0]);
  in_place.TransformFinal(buffer.data(), buffer.data(), buffer.size());
  EXPECT_EQ(buffer, expected);
}

// Runs the word cipher over `in` (starting `in_shift` bytes into a buffer)
// in pieces of odd word counts, so that the vector loops, their shorter
// forms and their scalar remainders all meet payload and key-table
// positions of every alignment; in place when `out_shift` is negative.
Bytes RunPieces(CipherDirection dir, const Bytes& in, const Bytes& k, std::size_t in_shift, int out_shift) {
  PayloadCipher cipher(dir, k, 33, k[0]);
  Bytes from(in.size() + 8), to(in.size() + 8);
  std::copy(in.begin(), in.end(), from.begin() + static_cast<std::ptrdiff_t>(in_shift));
  uint8_t* src = from.data() + in_shift;
  uint8_t* dst = out_shift < 0 ? src : to.data() + out_shift;
  const std::size_t words[] = {1, 15, 16, 17, 7, 33, 1000, 8, 4093, 31, 2};
  std::size_t done = 0;
  for (std::size_t i = 0; in.size() - done >= 4; ++i) {
    const std::size_t n = std::min(4 * words[i % std::size(words)], (in.size() - done) / 4 * 4);
    cipher.Transform(src + done, dst + done, n);
    done += n;
  }
  cipher.TransformTail(src + done, dst + done, in.size() - done);
  return Bytes(dst, dst + in.size());
}

TEST(WordCipher, VectorLoopsMatchReferenceInPlaceAndApartAtAnyAlignment) {
  // Long enough to cross an accumulator restart for every step.
  const Bytes payload = Pseudo(4 * 22000 + 1, 8);
  for (std::size_t length : {12u, 13u, 14u, 15u, 16u, 17u, 18u, 19u, 20u, 64u, 2056u}) {
    const Bytes k = Pseudo(length, static_cast<uint32_t>(100 + length));
    const Bytes expected = ReferenceEncrypt(payload, k, 33, k[0]);
    const std::size_t shift = length % 4;
    const int other = static_cast<int>((length + 1) % 4);
    EXPECT_EQ(RunPieces(CipherDirection::kEncrypt, payload, k, shift, -1), expected) << "in place, L=" << length;
    EXPECT_EQ(RunPieces(CipherDirection::kDecrypt, expected, k, shift, -1), payload) << "in place, L=" << length;
    EXPECT_EQ(RunPieces(CipherDirection::kEncrypt, payload, k, shift, other), expected) << "apart, L=" << length;
    EXPECT_EQ(RunPieces(CipherDirection::kDecrypt, expected, k, shift, other), payload) << "apart, L=" << length;
  }
}

TEST(WordCipher, RejectsPartialWordsAndWorkAfterTheTail) {
  const Bytes k(12, 1);
  PayloadCipher cipher(CipherDirection::kEncrypt, k, 33, 1);
  uint8_t buf[8] = {};
  EXPECT_THROW(cipher.Transform(buf, buf, 6), std::invalid_argument);
  EXPECT_THROW(cipher.TransformTail(buf, buf, 4), std::invalid_argument);
  cipher.TransformTail(buf, buf, 2);
  EXPECT_THROW(cipher.Transform(buf, buf, 4), std::logic_error);
  EXPECT_THROW(cipher.TransformTail(buf, buf, 1), std::logic_error);
  EXPECT_THROW(PayloadCipher(CipherDirection::kEncrypt, Bytes(11, 0), 33, 0), std::invalid_argument);
  EXPECT_THROW(PayloadCipher(CipherDirection::kEncrypt, Bytes(2057, 0), 33, 0), std::invalid_argument);
}

TEST(ByteCipher, CounterRunsOneToTwoFiftyFiveThenTwoToTwoFiftyFive) {
  // With an all-zero key stream each output byte is h.
  const Bytes k(12, 0);
  const Bytes zero(3 * 254 + 10, 0);
  const Bytes out = RunCipher(CipherDirection::kEncrypt, zero, k, 11, 0);
  EXPECT_EQ(out[0], 1);
  EXPECT_EQ(out[1], 2);
  EXPECT_EQ(out[254], 255);
  EXPECT_EQ(out[255], 2);
  EXPECT_EQ(out[508], 255);
  EXPECT_EQ(out[509], 2);
  for (std::size_t i = 1; i < out.size(); ++i) EXPECT_NE(out[i], 1) << "byte " << i;
}

TEST(ByteCipher, MatchesReferenceInArbitraryPieces) {
  const Bytes payload = Pseudo(5001, 6);
  for (std::size_t length : {13u, 2056u}) {
    const Bytes k = Pseudo(length, 5);
    const Bytes expected = ReferenceEncrypt(payload, k, 11, k[0]);
    PayloadCipher enc(CipherDirection::kEncrypt, k, 11, k[0]);
    PayloadCipher dec(CipherDirection::kDecrypt, k, 11, k[0]);
    Bytes out(payload.size()), back(payload.size());
    for (std::size_t done = 0, piece = 1; done < payload.size(); piece = piece * 3 % 1000 + 1) {
      const std::size_t n = std::min(piece, payload.size() - done);
      enc.Transform(payload.data() + done, out.data() + done, n);
      dec.Transform(out.data() + done, back.data() + done, n);
      done += n;
    }
    EXPECT_EQ(out, expected) << "L=" << length;
    EXPECT_EQ(back, payload) << "L=" << length;
  }
}

}  // namespace
}  // namespace vesk::keyed
