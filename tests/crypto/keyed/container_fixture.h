// Builds keyed containers in memory for the reader tests: any version, layer,
// compression level, key, extension and payload, with fixed random draws, and
// with single fields damaged on purpose.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "crypto/keyed/container.h"

namespace vesk::keyed::fixture {

// The random draws of one container: the filler bytes of a key shorter than
// 12 bytes are filler, filler + 1, ..., then r1, r2, r3.
struct Draws {
  uint8_t r1 = 17;
  uint8_t r2 = 40;
  uint8_t r3 = 99;
  uint8_t filler = 7;
};

struct Recipe {
  std::string key = "secret";  // GBK bytes
  uint8_t version = kVersionCurrent;
  uint8_t layer = 1;
  uint8_t pre_zip_level = 0;
  std::string ext = ".txt";  // GBK bytes
  Draws draws;
};

// The values a RandomSource must return for `recipe`: fillers, then r1, r2, r3.
std::vector<uint8_t> DrawValues(const Recipe& recipe);

// The header blocks and key stream for `payload_size` bytes of payload.
Header MakeHeader(const Recipe& recipe, int64_t payload_size);

// The padded key of `recipe` (the key and its filler bytes).
std::string PaddedKey(const Recipe& recipe);

// The container bytes of `payload` under `header`, placed as the writer
// places them. The placement follows the real payload length, so a header
// whose size field has been damaged still yields a well-formed file.
std::string AssembleContainer(const Header& header, std::string_view payload);

// Shorthand: MakeHeader + AssembleContainer.
std::string MakeContainer(const Recipe& recipe, std::string_view payload);

// Damages the stored size field so that it reads `size`.
void SetStoredSize(Header& header, uint64_t size);
// Damages the stored extension length so that it reads `length` (the
// extension bytes themselves stay).
void SetStoredExtLength(Header& header, uint8_t length);

// Damages the length block so that the stored key length reads `n` while the
// marker and the compression level still decode as before. The random bytes
// a reader derives change with it, so the key check no longer matches.
void SetStoredKeyLength(Header& header, int n);

// Creates a sparse file of `size` bytes holding `bytes` at `offset`.
void WriteSparse(const std::string& path, int64_t size, int64_t offset, std::string_view bytes);
// Writes `bytes` into an existing file at `offset`.
void Overwrite(const std::string& path, int64_t offset, std::string_view bytes);

}  // namespace vesk::keyed::fixture
