// The textual age v1 header: version line, recipient stanzas, MAC line.
//
//   age-encryption.org/v1
//   -> X25519 <base64 share>
//   <base64 body, 64 columns per line, last line shorter (maybe empty)>
//   --- <base64 HMAC-SHA-256>
//
// Parsing is strict, so that any header that parses serialises back to the
// very same bytes; the MAC is checked over those bytes.
#pragma once

#include <array>
#include <optional>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "crypto/age/io.h"
#include "crypto/age/result.h"
#include "crypto/age/secret.h"

namespace vesk::age {

inline constexpr std::string_view kVersionLine = "age-encryption.org/v1\n";
inline constexpr std::size_t kFileKeySize = 16;
// Headers larger than this are refused rather than buffered.
inline constexpr std::size_t kMaxHeaderSize = 4 << 20;

struct Stanza {
  std::string type;               // the first argument, e.g. "X25519"
  std::vector<std::string> args;  // the arguments after the type
  std::vector<uint8_t> body;

  bool operator==(const Stanza&) const = default;
};

struct Header {
  std::vector<Stanza> stanzas;
  std::array<uint8_t, 32> mac {};
};

// True when `s` is a valid stanza argument: one or more printable ASCII
// characters other than space (VCHAR).
bool IsValidArgument(std::string_view s);

// One stanza as a header (and the plugin protocol) writes it: "-> TYPE
// ARGS...", then its body in base64 lines of 64 columns, the last shorter.
std::string SerializeStanza(const Stanza& stanza);
// Its first line (without '\n'), into `out` with an empty body; false when
// it is no stanza line.
bool ParseStanzaLine(std::string_view line, Stanza& out);
// Appends one body line (without '\n'); `last` when it ends the body. False
// when the line is longer than 64 columns or not canonical base64.
bool AddStanzaBodyLine(std::string_view line, Stanza& stanza, bool& last);

// The header up to and including "---" (the bytes the MAC covers).
std::string SerializeWithoutMac(const Header& header);
// The whole header including the MAC line and its final '\n'.
std::string Serialize(const Header& header);

// HMAC key = HKDF-SHA-256(file key, salt empty, info "header"); nullopt
// only if libcrypto fails.
std::optional<std::array<uint8_t, 32>> HeaderMac(const SecretBytes& file_key, std::string_view without_mac);
// Computes and stores the MAC of `header` for `file_key`; false (and the
// header unchanged) only if libcrypto fails.
bool SealHeader(Header& header, const SecretBytes& file_key);
// Constant-time check of the stored MAC; kFailed if libcrypto fails.
enum class MacCheck { kMatches, kDiffers, kFailed };
MacCheck CheckHeaderMac(const Header& header, const SecretBytes& file_key);
inline bool HeaderMacMatches(const Header& header, const SecretBytes& file_key) {
  return CheckHeaderMac(header, file_key) == MacCheck::kMatches;
}

// Reads a binary header from `in`, leaving `in` at the first payload byte.
// Failures: kUnsupportedVersion, kHeaderInvalid, or the reader's own failure.
Result ReadHeader(BufferedReader& in, Header& header);

// Parses a header at the start of `bytes`; `consumed` gets its length.
Result ParseHeader(std::span<const uint8_t> bytes, Header& header, std::size_t& consumed);

}  // namespace vesk::age
