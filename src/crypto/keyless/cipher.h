// The key-less payload transform. The payload is a run of 32-bit
// little-endian words followed by up to three tail bytes. Word i is mixed with
// F(i) = (i + 1) * S mod 2^32 and with words read cyclically from the key
// stream (the read position rewinds to 0 whenever fewer than 4 bytes remain);
// each tail byte is mixed with two key-stream bytes counted from its start.
//
// WordCipher keeps only the key stream and two counters, so a file of any
// size streams through it in chunks; the output does not depend on how the
// payload is cut into chunks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "crypto/keyless/format.h"

namespace vesk::keyless {

enum class Direction : uint8_t { kEncrypt, kDecrypt };

class WordCipher {
 public:
  // `key_stream` must hold at least 4 bytes.
  WordCipher(Direction direction, WordMode mode, uint32_t step, std::span<const uint8_t> key_stream);

  // Transforms `data` in place as the next data.size() / 4 payload words;
  // data.size() must be a multiple of 4.
  void Transform(std::span<uint8_t> data);

  uint64_t WordsDone() const { return words_done_; }

 private:
  Direction direction_;
  WordMode mode_;
  uint32_t step_;
  // The key words (and, for the two-word variant, the second key words) that
  // word i uses, at index i mod their length: the key-word cycle repeated
  // often enough that the inner loop runs over long contiguous stretches.
  std::vector<uint32_t> first_;
  std::vector<uint32_t> second_;
  std::size_t index_ = 0;
  uint32_t next_offset_;  // F of the next word
  uint64_t words_done_ = 0;
};

// Transforms the n = data.size() (at most 3) tail bytes in place; the key
// stream must hold at least 2 * n bytes.
void TransformTail(Direction direction, std::span<const uint8_t> key_stream, std::span<uint8_t> data);

// Whole-buffer forms, for small data and as the reference the engines match.
std::vector<uint8_t> EncryptToContainer(std::span<const uint8_t> plain, std::string_view key, Version version,
                                        const RandomBlock& r);

struct OpenedContainer {
  Recognised format;
  std::vector<uint8_t> plain;
};
// Nothing when the bytes are not a key-less container or hold no payload.
std::optional<OpenedContainer> DecryptContainer(std::span<const uint8_t> container, std::string_view key);

}  // namespace vesk::keyless
