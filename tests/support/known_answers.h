// Known-answer containers made by a second, independent implementation of
// the keyed and key-less formats (tests/data/keyed, tests/data/keyless; see
// tests/data/README.md). Each file holds the inputs of one encryption (key,
// random draws, payload, version, ...) and the exact container it gives.
// They are fixed data: the tests compare the program with them, never the
// other way round.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vesk::testing {

struct KnownAnswer {
  std::string name;          // file name without ".vec", for messages
  std::string kind;          // "keyed" or "keyless"
  int version = 0;
  std::string key_text;      // UTF-8 as typed, a line break as "\n"
  std::string key;           // the key bytes in code page 936 (CR LF between lines)
  std::vector<uint8_t> draws;  // keyed: the filler bytes, then r1, r2, r3; key-less: R0 .. R11
  int compression = 0;       // keyed: the flag z
  int layer = 0;             // keyed
  std::string ext;           // keyed: the stored extension bytes
  bool needs_older_choice = false;  // keyed: reading takes the older-algorithm choice
  std::string payload;       // what is enciphered (the zlib stream of the plaintext when z != 0)
  std::string plaintext_sha256;  // lower-case hex
  int64_t header_offset = 0;     // keyed
  std::string container;
};

// Every known answer of `kind` ("keyed" or "keyless"), sorted by name. Throws
// std::runtime_error for a missing folder or a malformed file, so that bad
// data fails the test instead of shrinking it.
std::vector<KnownAnswer> LoadKnownAnswers(std::string_view kind);

// SHA-256 of `bytes` in lower-case hex (OpenSSL's, not the program's).
std::string Sha256Hex(std::string_view bytes);

// The bytes of a complete zlib stream, inflated by zlib itself. Throws
// std::runtime_error when `stream` is not one.
std::string ZlibInflate(std::string_view stream);

}  // namespace vesk::testing
