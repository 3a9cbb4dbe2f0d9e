#include "crypto/keyless/format.h"

#include <stdexcept>

namespace vesk::keyless {
namespace {

uint8_t Byte(std::string_view s, std::size_t i) { return static_cast<uint8_t>(s[i]); }

uint8_t Mask(const RandomBlock& r) { return static_cast<uint8_t>(r[8] ^ r[10]); }

bool MarkerAt(std::span<const uint8_t> head, std::size_t p) {
  // The mask bytes R8 and R10 sit at p + 12 and p + 14.
  if (head.size() < p + 15) return false;
  const uint8_t mask = static_cast<uint8_t>(head[p + 12] ^ head[p + 14]);
  for (std::size_t i = 0; i < kMarker.size(); ++i) {
    if (static_cast<uint8_t>(head[p + i] ^ mask) != kMarker[i]) return false;
  }
  return true;
}

}  // namespace

uint8_t KeyDigit(std::string_view key) {
  if (key.empty()) throw std::invalid_argument("empty key");
  return static_cast<uint8_t>(Byte(key, 0) % 10);
}

uint8_t Selector(std::string_view key, const RandomBlock& r) { return r[KeyDigit(key) + 1u]; }

KeyStream DeriveKeyStream(uint8_t sel, std::string_view key, const RandomBlock& r) {
  if (key.empty()) throw std::invalid_argument("empty key");
  const std::size_t n = key.size();
  KeyStream k;
  if (n < 12) {
    // Every random byte is run through the whole key; the third key byte is
    // subtracted, the others are XORed.
    k.reserve(12);
    for (uint8_t rb : r) {
      uint8_t a = rb ^ Byte(key, 0);
      for (std::size_t j = 2; j <= n; ++j) {
        const uint8_t kj = Byte(key, j - 1);
        a = j == 3 ? static_cast<uint8_t>(a - kj) : static_cast<uint8_t>(a ^ kj);
      }
      k.push_back(static_cast<uint8_t>(a - sel));
    }
  } else {
    // Each key byte consumes two random bytes, cyclically.
    k.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
      uint8_t c = Byte(key, i) ^ r[(2 * i) % 12];
      k.push_back(static_cast<uint8_t>(c - r[(2 * i + 1) % 12]));
    }
  }
  return k;
}

KeyStream FoldKeyStream(KeyStream k, const RandomBlock& r) {
  if (k.size() % 4 != 0) {
    const std::size_t pad = 4 - k.size() % 4;
    for (std::size_t i = 0; i < pad; ++i) k.push_back(r[8 + i]);
  }
  if (k.empty()) return k;
  uint8_t x = 0;
  uint8_t y = k[0];
  for (std::size_t i = 0; i < k.size(); ++i) {
    x ^= k[i];
    if (i > 0) y = static_cast<uint8_t>(y - k[i]);
  }
  const uint8_t z = static_cast<uint8_t>(x - y);
  for (uint8_t& b : k) b = static_cast<uint8_t>(z - b);
  return k;
}

uint32_t StepValue(StepRule rule, uint8_t key_digit) {
  switch (rule) {
    case StepRule::kCurrent: return key_digit * 8191u + 0x1FFFFu;
    case StepRule::kOld: return key_digit * 0x2FFFu + 0xFFFFu;
    case StepRule::kOlder: return 0x2FFFFu;
  }
  return 0;
}

Variant VariantFor(Version v) {
  switch (v) {
    case Version::kCurrent: return {true, StepRule::kCurrent, WordMode::kSingle};
    case Version::kOld: return {false, StepRule::kOld, WordMode::kTwoWord};
    case Version::kOlder: return {false, StepRule::kOlder, WordMode::kTwoWord};
  }
  throw std::invalid_argument("unknown key-less version");
}

std::vector<uint8_t> BuildHeader(Version v, const RandomBlock& r) {
  const uint8_t mask = Mask(r);
  std::vector<uint8_t> h;
  h.reserve(kMaxHeaderSize);
  if (HeaderOffset(v) == 2) {
    h.push_back(static_cast<uint8_t>(0x80 ^ mask));
    h.push_back(static_cast<uint8_t>(static_cast<uint8_t>(v) ^ mask));
  }
  for (uint8_t b : kMarker) h.push_back(static_cast<uint8_t>(b ^ mask));
  h.insert(h.end(), r.begin(), r.end());
  return h;
}

std::array<uint8_t, kTrailerSize> BuildTrailer(const RandomBlock& r) {
  std::array<uint8_t, kTrailerSize> t{};
  for (std::size_t i = 0; i < r.size(); ++i) t[i] = static_cast<uint8_t>(r[i] ^ 0x1C);
  for (std::size_t i = 0; i < kSignature.size(); ++i) {
    t[r.size() + i] = static_cast<uint8_t>((kSignature[i] ^ r[8]) - r[10]);
  }
  return t;
}

std::optional<Recognised> Recognise(std::span<const uint8_t> head) {
  Recognised rec;
  if (MarkerAt(head, 0)) {
    rec.p = 0;
    rec.variant = VariantFor(Version::kOlder);
    return rec;
  }
  if (!MarkerAt(head, 2)) return std::nullopt;
  rec.p = 2;
  const uint8_t v = static_cast<uint8_t>(head[1] ^ head[14] ^ head[16]);
  rec.stored_version = v;
  rec.effective_version = v;
  if (v <= 25) {
    rec.variant = VariantFor(Version::kOld);
  } else if (v <= 34) {
    rec.effective_version = 30;
    rec.variant = VariantFor(Version::kCurrent);
  } else {
    // A newer program's version: its step, without the fold.
    rec.variant = {false, StepRule::kCurrent, WordMode::kTwoWord};
    rec.newer = v > 35;
  }
  return rec;
}

RandomBlock ReadRandomBlock(std::span<const uint8_t> head, std::size_t p) {
  if (head.size() < PayloadOffset(p)) throw std::invalid_argument("header too short");
  RandomBlock r{};
  for (std::size_t i = 0; i < r.size(); ++i) r[i] = head[p + kRandomOffsetInHeader + i];
  return r;
}

}  // namespace vesk::keyless
