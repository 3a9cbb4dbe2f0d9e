// Payload cipher of the keyed container.
//
// The key stream K (L bytes, 12 <= L <= 2056) is read cyclically. Two ciphers
// exist, chosen by the container's algorithm version V:
//
//   * byte cipher (V <= 12, written as V = 11): every payload byte s uses two
//     consecutive key-stream bytes k1, k2 and a counter h that runs 1..255 and
//     then 2..255 over and over: out = (s ^ (k2 ^ h)) - k1.
//   * word cipher (V >= 13, written as V = 18 and 33): the payload is taken as
//     little-endian 32-bit words. Each word w uses two key words k1, k2 read at
//     offsets 0, 4, 8, ... of K (the last L mod 4 bytes of K are never used)
//     and an accumulator a that grows by `step` and falls back to `step` when
//     it would exceed 2^32 - 1: out = (w ^ k1 ^ a) - k2. The S mod 4 bytes
//     after the last whole word restart at K[0]: out = (s ^ K[2t+1]) - K[2t]
//     for tail byte t.
//
// The class is streaming and holds only a few kilobytes of tables, so a
// payload of any size goes through it in pieces of the caller's choosing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vesk::keyed {

enum class CipherDirection { kEncrypt, kDecrypt };

// True when version V enciphers byte by byte (V <= 12), false for words.
constexpr bool UsesByteCipher(uint8_t version) { return version <= 12; }

// Increment of the word cipher's accumulator. From V = 20 on it depends on the
// first byte of the unpadded key: one of 65535 + 12287 * j, j = 0..11.
constexpr uint32_t WordCipherStep(uint8_t version, uint8_t first_key_byte) {
  if (version >= 20) return static_cast<uint32_t>((first_key_byte ^ 0x0C) % 12) * 0x2FFF + 0xFFFF;
  return 0x2FFFF;
}

class PayloadCipher {
 public:
  // `key_stream` is K (12..2056 bytes, std::invalid_argument otherwise);
  // `first_key_byte` is byte 0 of the unpadded key (only the word cipher of
  // V >= 20 uses it). The key stream is copied.
  PayloadCipher(CipherDirection direction, std::span<const uint8_t> key_stream, uint8_t version,
                uint8_t first_key_byte);
  ~PayloadCipher();
  PayloadCipher(const PayloadCipher&) = default;
  PayloadCipher& operator=(const PayloadCipher&) = default;
  PayloadCipher(PayloadCipher&&) = default;
  PayloadCipher& operator=(PayloadCipher&&) = default;

  bool WordMode() const { return word_mode_; }

  // Transforms the next n payload bytes, in payload order, from `in` to `out`
  // (which may be the same buffer, but must not overlap it otherwise). The
  // byte cipher takes any n. The word cipher takes whole words only: n must be
  // a multiple of 4 (std::invalid_argument otherwise). State carries over
  // from call to call.
  void Transform(const uint8_t* in, uint8_t* out, std::size_t n);

  // Transforms the last S mod 4 payload bytes of the word cipher (n < 4, all
  // of them in one call). For the byte cipher these bytes are not special and
  // this is the same as Transform. Nothing may be transformed after the tail
  // of the word cipher (std::logic_error).
  void TransformTail(const uint8_t* in, uint8_t* out, std::size_t n);

  // Convenience for the final piece of a payload: the whole words of `in`
  // through Transform, then the remaining n mod 4 bytes through TransformTail.
  void TransformFinal(const uint8_t* in, uint8_t* out, std::size_t n);

 private:
  void ByteCipher(const uint8_t* in, uint8_t* out, std::size_t n);
  void WordCipher(const uint8_t* in, uint8_t* out, std::size_t words);

  CipherDirection direction_;
  bool word_mode_;
  bool tail_done_ = false;
  std::vector<uint8_t> key_stream_;

  // Byte cipher state.
  std::size_t byte_pos_ = 0;  // read position in the key stream
  uint8_t counter_ = 1;       // h

  // Word cipher state. Word i of the payload uses key words
  // W[2i mod q] and W[(2i + 1) mod q] (q = L div 4); key1_/key2_ hold those
  // pairs for i = 0 .. M-1, M a multiple of q of about a thousand, so that
  // the inner loop runs without modulo or wrap tests.
  std::vector<uint32_t> key1_;
  std::vector<uint32_t> key2_;
  std::size_t pair_index_ = 0;  // i mod M for the next word
  uint32_t step_ = 0;
  uint64_t accumulator_ = 0;    // a
};

}  // namespace vesk::keyed
