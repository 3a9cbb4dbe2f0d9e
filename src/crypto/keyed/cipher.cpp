#include "crypto/keyed/cipher.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <stdexcept>

namespace vesk::keyed {
namespace {

static_assert(std::endian::native == std::endian::little,
              "the word cipher loads payload and key words in host order");

constexpr std::size_t kMinKeyStream = 12;
constexpr std::size_t kMaxKeyStream = 2056;
constexpr uint64_t kMaxAccumulator = 0xFFFFFFFFull;

// Shortest length of the expanded key pair tables: the longest run of words
// the inner loop gets between two wraps of the tables.
constexpr std::size_t kMinPairWords = 1024;

uint32_t LoadWord(const uint8_t* p) {
  uint32_t w;
  std::memcpy(&w, p, sizeof w);
  return w;
}

void Wipe(std::vector<uint8_t>& v) {
  volatile uint8_t* p = v.data();
  for (std::size_t i = 0; i < v.size(); ++i) p[i] = 0;
}

void Wipe(std::vector<uint32_t>& v) {
  volatile uint32_t* p = v.data();
  for (std::size_t i = 0; i < v.size(); ++i) p[i] = 0;
}

// One run of the word cipher: word j uses the key words k1[j], k2[j] and the
// accumulator base + (j + 1) * step, which does not wrap within a run. Every
// word is then a pure function of j, and the loop vectorises.
template <CipherDirection kDirection>
inline __attribute__((always_inline)) void WordRun(const uint8_t* in, uint8_t* out, std::size_t count,
                                                   uint32_t base, uint32_t step, const uint32_t* k1,
                                                   const uint32_t* k2) {
  uint32_t a = base;
  for (std::size_t j = 0; j < count; ++j) {
    a += step;  // an induction the vector loop advances lane-wise
    uint32_t w = LoadWord(in + 4 * j);
    if constexpr (kDirection == CipherDirection::kEncrypt) {
      w = (w ^ (k1[j] ^ a)) - k2[j];
    } else {
      w = (w + k2[j]) ^ (k1[j] ^ a);
    }
    std::memcpy(out + 4 * j, &w, sizeof w);
  }
}

// The runs are compiled for the wider vector units as well and the best one
// the processor has is picked at load time. (The thread sanitizer cannot run
// the load-time resolvers, so its builds keep the baseline loops.) The
// in-place and the separate-buffer forms are apart so that neither needs a
// run-time overlap test before its vector loop.
#if defined(__SANITIZE_THREAD__)
#define VESK_KEYED_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)  // clang's spelling
#define VESK_KEYED_TSAN 1
#endif
#endif
#if defined(__x86_64__) && defined(__GNUC__) && !defined(VESK_KEYED_TSAN)
#define VESK_KEYED_CLONES __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#define VESK_KEYED_CLONES
#endif

VESK_KEYED_CLONES void EncryptInPlace(uint8_t* data, std::size_t count, uint32_t base, uint32_t step,
                                      const uint32_t* __restrict k1, const uint32_t* __restrict k2) {
  WordRun<CipherDirection::kEncrypt>(data, data, count, base, step, k1, k2);
}

VESK_KEYED_CLONES void DecryptInPlace(uint8_t* data, std::size_t count, uint32_t base, uint32_t step,
                                      const uint32_t* __restrict k1, const uint32_t* __restrict k2) {
  WordRun<CipherDirection::kDecrypt>(data, data, count, base, step, k1, k2);
}

VESK_KEYED_CLONES void EncryptApart(const uint8_t* __restrict in, uint8_t* __restrict out, std::size_t count,
                                    uint32_t base, uint32_t step, const uint32_t* __restrict k1,
                                    const uint32_t* __restrict k2) {
  WordRun<CipherDirection::kEncrypt>(in, out, count, base, step, k1, k2);
}

VESK_KEYED_CLONES void DecryptApart(const uint8_t* __restrict in, uint8_t* __restrict out, std::size_t count,
                                    uint32_t base, uint32_t step, const uint32_t* __restrict k1,
                                    const uint32_t* __restrict k2) {
  WordRun<CipherDirection::kDecrypt>(in, out, count, base, step, k1, k2);
}

}  // namespace

PayloadCipher::PayloadCipher(CipherDirection direction, std::span<const uint8_t> key_stream,
                             uint8_t version, uint8_t first_key_byte)
    : direction_(direction),
      word_mode_(!UsesByteCipher(version)),
      key_stream_(key_stream.begin(), key_stream.end()) {
  if (key_stream.size() < kMinKeyStream || key_stream.size() > kMaxKeyStream) {
    throw std::invalid_argument("key stream must have 12 to 2056 bytes");
  }
  if (!word_mode_) return;

  step_ = WordCipherStep(version, first_key_byte);
  const std::size_t q = key_stream.size() / 4;
  const std::size_t pairs = q * ((kMinPairWords + q - 1) / q);
  key1_.resize(pairs);
  key2_.resize(pairs);
  for (std::size_t i = 0; i < pairs; ++i) {
    key1_[i] = LoadWord(&key_stream_[4 * ((2 * i) % q)]);
    key2_[i] = LoadWord(&key_stream_[4 * ((2 * i + 1) % q)]);
  }
}

PayloadCipher::~PayloadCipher() {
  Wipe(key_stream_);
  Wipe(key1_);
  Wipe(key2_);
}

void PayloadCipher::Transform(const uint8_t* in, uint8_t* out, std::size_t n) {
  if (tail_done_) throw std::logic_error("payload transformed after the tail bytes");
  if (!word_mode_) {
    ByteCipher(in, out, n);
    return;
  }
  if (n % 4 != 0) throw std::invalid_argument("word cipher needs whole 32-bit words");
  WordCipher(in, out, n / 4);
}

void PayloadCipher::TransformTail(const uint8_t* in, uint8_t* out, std::size_t n) {
  if (n >= 4) throw std::invalid_argument("tail has at most 3 bytes");
  if (!word_mode_) {
    ByteCipher(in, out, n);
    return;
  }
  if (tail_done_) throw std::logic_error("tail bytes transformed twice");
  tail_done_ = true;
  // The tail reads the key stream afresh from K[0]; L >= 12 covers the at
  // most six bytes it needs.
  for (std::size_t t = 0; t < n; ++t) {
    const uint8_t k1 = key_stream_[2 * t];
    const uint8_t k2 = key_stream_[2 * t + 1];
    if (direction_ == CipherDirection::kEncrypt) {
      out[t] = static_cast<uint8_t>((in[t] ^ k2) - k1);
    } else {
      out[t] = static_cast<uint8_t>((in[t] + k1) ^ k2);
    }
  }
}

void PayloadCipher::TransformFinal(const uint8_t* in, uint8_t* out, std::size_t n) {
  if (!word_mode_) {
    Transform(in, out, n);
    return;
  }
  const std::size_t whole = n - n % 4;
  Transform(in, out, whole);
  TransformTail(in + whole, out + whole, n % 4);
}

void PayloadCipher::ByteCipher(const uint8_t* in, uint8_t* out, std::size_t n) {
  const std::size_t length = key_stream_.size();
  const uint8_t* key = key_stream_.data();
  std::size_t pos = byte_pos_;
  uint8_t h = counter_;
  const bool encrypt = direction_ == CipherDirection::kEncrypt;
  for (std::size_t i = 0; i < n; ++i) {
    const uint8_t k1 = key[pos];
    if (++pos == length) pos = 0;
    const uint8_t k2 = key[pos];
    if (++pos == length) pos = 0;
    if (encrypt) {
      out[i] = static_cast<uint8_t>((in[i] ^ (k2 ^ h)) - k1);
    } else {
      out[i] = static_cast<uint8_t>((in[i] + k1) ^ (k2 ^ h));
    }
    // h = 1 only for the very first byte; afterwards it cycles 2..255.
    h = h == 255 ? 2 : static_cast<uint8_t>(h + 1);
  }
  byte_pos_ = pos;
  counter_ = h;
}

void PayloadCipher::WordCipher(const uint8_t* in, uint8_t* out, std::size_t words) {
  const std::size_t pairs = key1_.size();
  const bool encrypt = direction_ == CipherDirection::kEncrypt;
  while (words > 0) {
    // Words that still fit before the accumulator passes 2^32 - 1. When none
    // does, the next word starts the accumulator again at `step`, which is
    // the same as continuing from 0.
    uint64_t room = (kMaxAccumulator - accumulator_) / step_;
    if (room == 0) {
      accumulator_ = 0;
      room = kMaxAccumulator / step_;
    }
    std::size_t run = std::min<std::size_t>(words, pairs - pair_index_);
    run = static_cast<std::size_t>(std::min<uint64_t>(run, room));

    const uint32_t* k1 = key1_.data() + pair_index_;
    const uint32_t* k2 = key2_.data() + pair_index_;
    const uint32_t base = static_cast<uint32_t>(accumulator_);
    if (in == out) {
      if (encrypt) {
        EncryptInPlace(out, run, base, step_, k1, k2);
      } else {
        DecryptInPlace(out, run, base, step_, k1, k2);
      }
    } else if (encrypt) {
      EncryptApart(in, out, run, base, step_, k1, k2);
    } else {
      DecryptApart(in, out, run, base, step_, k1, k2);
    }

    accumulator_ += static_cast<uint64_t>(run) * step_;
    pair_index_ += run;
    if (pair_index_ == pairs) pair_index_ = 0;
    in += run * 4;
    out += run * 4;
    words -= run;
  }
}

}  // namespace vesk::keyed
