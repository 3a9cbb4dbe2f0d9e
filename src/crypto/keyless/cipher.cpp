#include "crypto/keyless/cipher.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <stdexcept>

namespace vesk::keyless {
namespace {

// The shortest stretch of key words the inner loop gets; long enough for the
// compiler's vector loop to dominate.
constexpr std::size_t kMinTableWords = 1024;

inline uint32_t LoadLe(const uint8_t* p) {
  uint32_t w;
  std::memcpy(&w, p, 4);
  if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap32(w);
  return w;
}

inline void StoreLe(uint8_t* p, uint32_t w) {
  if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap32(w);
  std::memcpy(p, &w, 4);
}

template <Direction kDirection, WordMode kMode>
inline __attribute__((always_inline)) void Kernel(uint8_t* data, std::size_t count, uint32_t first_offset,
                                                  uint32_t step, const uint32_t* a, const uint32_t* b) {
  for (std::size_t k = 0; k < count; ++k) {
    uint32_t w = LoadLe(data + 4 * k);
    const uint32_t f = first_offset + static_cast<uint32_t>(k) * step;
    if constexpr (kMode == WordMode::kSingle) {
      w ^= f ^ a[k];
    } else if constexpr (kDirection == Direction::kEncrypt) {
      w = (w ^ f ^ a[k]) - b[k];
    } else {
      w = (w + b[k]) ^ a[k] ^ f;
    }
    StoreLe(data + 4 * k, w);
  }
}

// The loops are compiled for the wider vector units as well and the best one
// the processor has is picked at load time. (The thread sanitizer cannot run
// the load-time resolvers, so its builds keep the baseline loops.)
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__SANITIZE_THREAD__)
#define VESK_KEYLESS_CLONES __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#define VESK_KEYLESS_CLONES
#endif

VESK_KEYLESS_CLONES void SingleWords(uint8_t* data, std::size_t count, uint32_t first_offset, uint32_t step,
                                     const uint32_t* a) {
  Kernel<Direction::kEncrypt, WordMode::kSingle>(data, count, first_offset, step, a, nullptr);
}

VESK_KEYLESS_CLONES void EncryptTwoWords(uint8_t* data, std::size_t count, uint32_t first_offset, uint32_t step,
                                         const uint32_t* a, const uint32_t* b) {
  Kernel<Direction::kEncrypt, WordMode::kTwoWord>(data, count, first_offset, step, a, b);
}

VESK_KEYLESS_CLONES void DecryptTwoWords(uint8_t* data, std::size_t count, uint32_t first_offset, uint32_t step,
                                         const uint32_t* a, const uint32_t* b) {
  Kernel<Direction::kDecrypt, WordMode::kTwoWord>(data, count, first_offset, step, a, b);
}

}  // namespace

WordCipher::WordCipher(Direction direction, WordMode mode, uint32_t step, std::span<const uint8_t> key_stream)
    : direction_(direction), mode_(mode), step_(step), next_offset_(step) {
  const std::size_t cycle = key_stream.size() / 4;  // key words before the read position rewinds
  if (cycle == 0) throw std::invalid_argument("key stream shorter than one word");
  std::vector<uint32_t> words(cycle);
  for (std::size_t i = 0; i < cycle; ++i) words[i] = LoadLe(key_stream.data() + 4 * i);

  // Word i reads key word i mod cycle (single) or key words 2i and 2i + 1 mod
  // cycle (two-word); both repeat with period `cycle`.
  const std::size_t length = cycle * ((kMinTableWords + cycle - 1) / cycle);
  first_.resize(length);
  if (mode == WordMode::kTwoWord) second_.resize(length);
  for (std::size_t i = 0; i < length; ++i) {
    if (mode == WordMode::kSingle) {
      first_[i] = words[i % cycle];
    } else {
      first_[i] = words[(2 * i) % cycle];
      second_[i] = words[(2 * i + 1) % cycle];
    }
  }
}

void WordCipher::Transform(std::span<uint8_t> data) {
  if (data.size() % 4 != 0) throw std::invalid_argument("payload words must be whole");
  uint8_t* p = data.data();
  std::size_t left = data.size() / 4;
  const bool encrypt = direction_ == Direction::kEncrypt;
  const bool single = mode_ == WordMode::kSingle;
  while (left > 0) {
    const std::size_t run = std::min(left, first_.size() - index_);
    const uint32_t* a = first_.data() + index_;
    const uint32_t* b = single ? nullptr : second_.data() + index_;
    if (single) {
      SingleWords(p, run, next_offset_, step_, a);
    } else if (encrypt) {
      EncryptTwoWords(p, run, next_offset_, step_, a, b);
    } else {
      DecryptTwoWords(p, run, next_offset_, step_, a, b);
    }
    next_offset_ += static_cast<uint32_t>(run) * step_;
    index_ += run;
    if (index_ == first_.size()) index_ = 0;
    p += 4 * run;
    left -= run;
    words_done_ += run;
  }
}

void TransformTail(Direction direction, std::span<const uint8_t> key_stream, std::span<uint8_t> data) {
  if (data.size() > 3 || key_stream.size() < 2 * data.size()) throw std::invalid_argument("bad tail");
  for (std::size_t j = 0; j < data.size(); ++j) {
    const uint8_t a = key_stream[2 * j];
    const uint8_t b = key_stream[2 * j + 1];
    if (direction == Direction::kEncrypt) {
      data[j] = static_cast<uint8_t>((data[j] ^ b) - a);
    } else {
      data[j] = static_cast<uint8_t>((data[j] + a) ^ b);
    }
  }
}

namespace {

void TransformPayload(Direction direction, const Variant& variant, std::string_view key, const RandomBlock& r,
                      std::span<uint8_t> payload) {
  KeyStream k = DeriveKeyStream(Selector(key, r), key, r);
  if (variant.fold) k = FoldKeyStream(std::move(k), r);
  const std::size_t whole = payload.size() / 4 * 4;
  WordCipher words(direction, variant.words, StepValue(variant.step, KeyDigit(key)), k);
  words.Transform(payload.first(whole));
  TransformTail(direction, k, payload.subspan(whole));
}

}  // namespace

std::vector<uint8_t> EncryptToContainer(std::span<const uint8_t> plain, std::string_view key, Version version,
                                        const RandomBlock& r) {
  std::vector<uint8_t> out = BuildHeader(version, r);
  const std::size_t start = out.size();
  out.insert(out.end(), plain.begin(), plain.end());
  TransformPayload(Direction::kEncrypt, VariantFor(version), key, r, std::span(out).subspan(start));
  const auto trailer = BuildTrailer(r);
  out.insert(out.end(), trailer.begin(), trailer.end());
  return out;
}

std::optional<OpenedContainer> DecryptContainer(std::span<const uint8_t> container, std::string_view key) {
  const auto format = Recognise(container.first(std::min(container.size(), kMaxHeaderSize)));
  if (!format) return std::nullopt;
  const int64_t n = static_cast<int64_t>(container.size()) - static_cast<int64_t>(format->p) - kFixedOverhead;
  if (n < 1) return std::nullopt;
  const std::size_t start = PayloadOffset(format->p);
  OpenedContainer opened{*format, std::vector<uint8_t>(container.begin() + static_cast<std::ptrdiff_t>(start),
                                                       container.begin() + static_cast<std::ptrdiff_t>(start) + n)};
  TransformPayload(Direction::kDecrypt, format->variant, key, ReadRandomBlock(container, format->p), opened.plain);
  return opened;
}

}  // namespace vesk::keyless
