// The key-less container: a masked marker, the twelve random bytes, the
// payload and a trailer. Nothing in it checks a key; the key only drives the
// transform, so a wrong key gives wrong bytes of the right length.
//
//   offset 0      1 byte   (p = 2 only) R8 ^ 0x80 ^ R10
//   offset 1      1 byte   (p = 2 only) version ^ R8 ^ R10
//   offset p      4 bytes  ".jmz", each byte ^ R8 ^ R10
//   offset p+4   12 bytes  R0 .. R11
//   offset p+16   N bytes  payload
//   then         12 bytes  R0 .. R11, each ^ 0x1C
//   then          8 bytes  the GBK marker, each b as (b ^ R8) - R10
//
// Everything here is a pure function over byte buffers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace vesk::keyless {

using RandomBlock = std::array<uint8_t, 12>;
using KeyStream = std::vector<uint8_t>;

// The versions an encryption can write.
enum class Version : uint8_t {
  kOlder = 0,     // two-word variant, no header bytes
  kOld = 20,      // two-word variant
  kCurrent = 30,  // folded key stream, single-word variant
};

inline constexpr std::array<uint8_t, 4> kMarker = {0x2E, 0x6A, 0x6D, 0x7A};  // ".jmz"
// The marker text in GBK.
inline constexpr std::array<uint8_t, 8> kSignature = {0x56, 0x65, 0x73, 0x6B, 0xBC, 0xD3, 0xC3, 0xDC};
inline constexpr std::size_t kRandomOffsetInHeader = 4;  // R follows the marker
inline constexpr std::size_t kTrailerSize = 20;
// Bytes a container adds to its payload besides the optional two header bytes.
inline constexpr int64_t kFixedOverhead = 36;
// Longest header any container has: two header bytes, marker and R.
inline constexpr std::size_t kMaxHeaderSize = 18;

// Number of header bytes before the marker: 2 for versions 20 and 30, 0 for 0.
inline constexpr std::size_t HeaderOffset(Version v) { return v == Version::kOlder ? 0 : 2; }
// Bytes before the payload: the optional header bytes, the marker and R.
inline constexpr std::size_t PayloadOffset(std::size_t p) { return p + 16; }
inline constexpr int64_t ContainerSize(int64_t plain_size, Version v) {
  return plain_size + static_cast<int64_t>(HeaderOffset(v)) + kFixedOverhead;
}

// m: the key's first byte mod 10. The key must not be empty.
uint8_t KeyDigit(std::string_view key);
// sel = R(m+1), one of R1 .. R10 chosen by the key's first byte.
uint8_t Selector(std::string_view key, const RandomBlock& r);

// The key stream: 12 bytes for keys shorter than 12 bytes, otherwise one byte
// per key byte. The key must not be empty.
KeyStream DeriveKeyStream(uint8_t sel, std::string_view key, const RandomBlock& r);

// Version 30 only: pads K to a multiple of 4 with R8, R9, R10 and replaces
// every byte by Z - K(i), Z derived from all bytes of the padded stream.
KeyStream FoldKeyStream(KeyStream k, const RandomBlock& r);

// The per-version constant that the running word offset F(i) = (i+1) * S
// advances by.
enum class StepRule : uint8_t {
  kCurrent,  // m * 8191 + 0x1FFFF
  kOld,      // m * 0x2FFF + 0xFFFF
  kOlder,    // 0x2FFFF
};
uint32_t StepValue(StepRule rule, uint8_t key_digit);

enum class WordMode : uint8_t {
  kSingle,   // C = W ^ F ^ next key word
  kTwoWord,  // C = ((W ^ F ^ A) - B), A and B two consecutive key words
};

// How a payload is transformed.
struct Variant {
  bool fold = false;
  StepRule step = StepRule::kCurrent;
  WordMode words = WordMode::kSingle;
  friend bool operator==(const Variant&, const Variant&) = default;
};

// The variant an encryption of this version writes.
Variant VariantFor(Version v);

// The first PayloadOffset(p) bytes of a container.
std::vector<uint8_t> BuildHeader(Version v, const RandomBlock& r);
// The 20 bytes after the payload.
std::array<uint8_t, kTrailerSize> BuildTrailer(const RandomBlock& r);

// What a reader learns from the first bytes of a file.
struct Recognised {
  std::size_t p = 0;            // 0 or 2
  uint8_t stored_version = 0;   // as decoded (0 when p = 0)
  uint8_t effective_version = 0;  // 26 .. 34 are taken as 30
  Variant variant;
  // Written by a newer program (versions above 35): the reader asks first.
  bool newer = false;
};

// Decodes the marker at offset 0, then at offset 2. `head` is the start of the
// file, up to kMaxHeaderSize bytes; a file too short for a test fails it.
std::optional<Recognised> Recognise(std::span<const uint8_t> head);

// R of a recognised container; `head` must hold PayloadOffset(p) bytes.
RandomBlock ReadRandomBlock(std::span<const uint8_t> head, std::size_t p);

}  // namespace vesk::keyless
