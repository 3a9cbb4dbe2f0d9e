// Keyed container (".jmz"): the header blocks, their placement around the
// payload ciphertext, and the inverse relations that readers use.
//
// A container is the payload ciphertext C (S bytes) with five blocks around
// it: salt (4 bytes), length (3), descriptor (14 + E), key check (L) and
// trailer (16). For S <= 1023 the first four blocks come first, then C, then
// the trailer. For S >= 1024 the salt, length and descriptor blocks follow
// the first 260 bytes of C, and the key-check block sits before payload
// offset P (260 <= P <= 514, chosen by the random byte r2); the trailer ends
// the file. Total length S + E + L + 37.
//
// Everything here works on byte buffers; the engines do the file work.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "crypto/keyed/cipher.h"
#include "crypto/keyed/random_source.h"

namespace vesk::keyed {

// Algorithm versions this program writes.
inline constexpr uint8_t kVersionCurrent = 33;  // word cipher, key-dependent step
inline constexpr uint8_t kVersionOld = 18;      // word cipher, fixed step
inline constexpr uint8_t kVersionOlder = 11;    // byte cipher

inline constexpr std::size_t kMaxKeyBytes = 2056;       // 1028 characters of GBK
inline constexpr std::size_t kMinPaddedKeyBytes = 12;   // L = max(n, 12)
inline constexpr int64_t kMaxPayloadSize = 4294967296;  // 4 GiB, inclusive
inline constexpr int64_t kSplitThreshold = 1024;        // S >= this: header inside the payload
inline constexpr int64_t kLeadInSize = 260;             // payload bytes before a split header

inline constexpr std::size_t kSaltSize = 4;
inline constexpr std::size_t kLengthSize = 3;
inline constexpr std::size_t kDescriptorFixedSize = 14;  // descriptor without the extension
inline constexpr std::size_t kHeaderPrefixSize = 12;     // salt, length, marker, version byte
inline constexpr std::size_t kFixedBlocksSize = 21;      // salt, length, fixed descriptor
inline constexpr std::size_t kTrailerSize = 16;
// Fixed bytes of every container: salt + length + fixed descriptor + trailer.
inline constexpr std::size_t kContainerOverhead = kFixedBlocksSize + kTrailerSize;

// Longest extension that readers accept as undamaged. BuildHeader stores a
// longer one as empty, so that the container stays readable.
inline constexpr std::size_t kMaxStoredExtension = 215;

// Longest container: the largest payload with the longest extension and key.
// Everything the encryption writes, decryption must be able to read back.
inline constexpr int64_t kMaxContainerSize =
    kMaxPayloadSize + static_cast<int64_t>(kContainerOverhead + kMaxStoredExtension + kMaxKeyBytes);

// The marker text in code page 936, masked into the trailer.
inline constexpr std::array<uint8_t, 8> kMarkerText = {'V', 'e', 's', 'k', 0xBC, 0xD3, 0xC3, 0xDC};

// ---------------------------------------------------------------------------
// Version-dependent rules shared by writer and readers.

// The length block is masked a second time (b0 ^= r3, b1 ^= r1) for V > 29.
constexpr bool MasksLengthTwice(uint8_t version) { return version > 29; }
// The key-check block XORs the position counter for V >= 20 and adds it below.
constexpr bool UsesXorKeyCheck(uint8_t version) { return version >= 20; }
// Distance g = P - 260 of a split key-check block from the end of the
// descriptor: r2 for the byte cipher, r2 rounded down to a multiple of 4 for
// the word cipher (so that the insertion falls between whole words).
constexpr int64_t KeyCheckGap(uint8_t r2, uint8_t version) {
  return UsesByteCipher(version) ? r2 : (r2 & 0xFC);
}
// Insertion point P: the payload offset before which the key-check block of a
// split container stands.
constexpr int64_t InsertionPoint(uint8_t r2, uint8_t version) {
  return kLeadInSize + KeyCheckGap(r2, version);
}

// ---------------------------------------------------------------------------
// Placement.

// Where the blocks of a container lie, as file offsets from the container
// start, for payload size S, extension length E, padded key length L and
// insertion point P (P is only used when S >= 1024).
struct ContainerLayout {
  bool split = false;             // S >= 1024
  int64_t header_offset = 0;      // salt block (0, or 260 when split)
  int64_t key_check_offset = 0;   // 21 + E, or P + 21 + E when split
  int64_t payload_offset = 0;     // first ciphertext byte (0 when split)
  int64_t trailer_offset = 0;     // S + E + L + 21
  int64_t total_length = 0;       // S + E + L + 37
};
ContainerLayout ComputeLayout(int64_t payload_size, std::size_t ext_length, std::size_t padded_key_length,
                              int64_t insertion_point);

// ---------------------------------------------------------------------------
// Writing.

struct ContainerParams {
  std::string key;                // GBK bytes, 1..2056
  uint8_t pre_zip_level = 0;      // 0 = payload is the file itself, 1..3 = compressed at that level
  uint8_t layer = 1;              // 1..12
  uint8_t version = kVersionCurrent;  // 33, 18 or 11; other values give test fixtures for readers
  std::string ext;                // GBK bytes including the dot, possibly empty
  int64_t payload_size = 0;       // S, 1..4294967296
};

// Everything the encryption engine writes besides the ciphertext, and the key
// stream to encipher it with.
struct Header {
  uint8_t version = 0;
  uint8_t layer = 0;
  uint8_t pre_zip_level = 0;
  int64_t payload_size = 0;       // S
  std::size_t key_length = 0;     // n, bytes of the unpadded key
  uint8_t first_key_byte = 0;     // key[0], selects the step of the V >= 20 word cipher
  uint8_t r1 = 0, r2 = 0, r3 = 0; // the unmasked random bytes
  bool extension_dropped = false; // ext was longer than 215 bytes and is stored empty

  std::array<uint8_t, kSaltSize> salt{};      // m1, m2, m3, t
  std::array<uint8_t, kLengthSize> length{};  // b0, b1, b2
  std::vector<uint8_t> descriptor;            // 14 + E bytes
  std::vector<uint8_t> key_check;             // L bytes
  std::array<uint8_t, kTrailerSize> trailer{};
  std::vector<uint8_t> key_stream;            // K, L bytes
  int64_t insertion_point = 0;                // P (payload offset; used when split)

  std::size_t PaddedKeyLength() const { return key_stream.size(); }       // L
  std::size_t ExtensionLength() const { return descriptor.size() - kDescriptorFixedSize; }  // E
  bool Split() const { return payload_size >= kSplitThreshold; }
  int64_t ContainerLength() const;   // S + E + L + 37
  ContainerLayout Layout() const;
  // Salt, length and descriptor blocks in file order (21 + E bytes): what is
  // written at the header offset.
  std::vector<uint8_t> LeadBlocks() const;
  // The payload cipher for this container.
  PayloadCipher MakeCipher(CipherDirection direction) const;
};

// Builds every header block and the key stream (padded key, draws, key
// stream, length block, masking, key check, descriptor, trailer). Draws from
// `random` in this order: the 12 - n filler bytes of a key shorter than 12
// bytes, then r1, r2, r3. An extension longer than 215 bytes is stored empty
// (E = 0, extension_dropped set). Throws std::invalid_argument for a key
// outside 1..2056 bytes or a payload size outside 1..4294967296.
Header BuildHeader(const ContainerParams& params, RandomSource& random);

// Key stream: K[i] = (((PK[i] ^ r1) + c(i)) + r2) ^ r3 with c(i) = (i + 1) mod 256.
std::vector<uint8_t> BuildKeyStream(std::span<const uint8_t> padded_key, uint8_t r1, uint8_t r2, uint8_t r3);

// Key-check block of a padded key, and its inverse (the padded key, filler
// bytes included, of a stored block). m1 and m3 are the masked salt bytes.
std::vector<uint8_t> EncodeKeyCheck(std::span<const uint8_t> padded_key, uint8_t r2, uint8_t m1, uint8_t m3,
                                    uint8_t version);
std::vector<uint8_t> DecodeKeyCheck(std::span<const uint8_t> block, uint8_t r2, uint8_t m1, uint8_t m3,
                                    uint8_t version);

// The descriptor's payload-size field: S as 8 little-endian bytes, byte j
// masked with m2 ^ (31 * j) ^ m3. In a split container it lies at file offset
// kSplitSizeFieldOffset (after the lead-in, the salt and length blocks, the
// four marker bytes and the version byte).
std::array<uint8_t, 8> EncodeSizeField(int64_t payload_size, uint8_t m2, uint8_t m3);
inline constexpr int64_t kSplitSizeFieldOffset = kLeadInSize + kSaltSize + kLengthSize + 5;

// Extension bytes of the descriptor: X_k ^ m1 ^ k ^ m2, k counted from 1.
// The transform is its own inverse.
std::vector<uint8_t> EncodeExtension(std::span<const uint8_t> ext, uint8_t m1, uint8_t m2);
std::string DecodeExtension(std::span<const uint8_t> stored, uint8_t m1, uint8_t m2);

// Trailer: salt and length blocks and e, each ^ 0x1F, then the marker text
// ^ (m1 ^ m2 ^ m3).
std::array<uint8_t, kTrailerSize> BuildTrailer(const std::array<uint8_t, kSaltSize>& salt,
                                               const std::array<uint8_t, kLengthSize>& length, uint8_t e);

// ---------------------------------------------------------------------------
// Reading. These decode; what counts as damage, and what to say about it, is
// up to each reader.

// The first 12 bytes at a header offset: salt block, length block, the four
// marker bytes and the version byte of the descriptor.
struct HeaderPrefix {
  uint8_t m1 = 0, m2 = 0, m3 = 0, t = 0;  // salt block as stored
  uint8_t b0 = 0, b1 = 0, b2 = 0;         // length block as stored
  uint8_t r1 = 0, r2 = 0, r3 = 0;         // unmasked random bytes
  uint8_t version = 0;                    // V
  uint8_t layer = 0;                      // t ^ m2 ^ m1
  int key_length = 0;                     // n, the stored 16 bits read as signed
  uint8_t pre_zip_level = 0;              // z (may exceed 3 in a damaged container)
  bool marker_ok = false;                 // the marker bytes decode to ".jmz"
};

// The 21 fixed bytes: the prefix plus the size field and e.
struct FixedBlocks : HeaderPrefix {
  int64_t payload_size = 0;  // S, the stored 64 bits read as signed
  uint8_t e = 0;             // masked extension length as stored
  uint8_t ext_length = 0;    // E = e ^ m2 ^ m3 (may exceed 215 in a damaged container)
};

// Decode the first kHeaderPrefixSize / kFixedBlocksSize bytes of `bytes`
// (std::invalid_argument if fewer are given).
HeaderPrefix ParseHeaderPrefix(std::span<const uint8_t> bytes);
FixedBlocks ParseFixedBlocks(std::span<const uint8_t> bytes);

struct TrailerFields {
  std::array<uint8_t, kSaltSize> salt{};
  std::array<uint8_t, kLengthSize> length{};
  uint8_t e = 0;
  bool marker_ok = false;  // the last 8 bytes unmask, with the trailer's own salt, to kMarkerText
};
// Decodes the first 16 bytes of `bytes` (std::invalid_argument if fewer).
TrailerFields ParseTrailer(std::span<const uint8_t> bytes);
// True when the trailer carries the marker and repeats exactly the salt,
// length and e of `fixed`.
bool TrailerMatches(const TrailerFields& trailer, const FixedBlocks& fixed);

}  // namespace vesk::keyed
