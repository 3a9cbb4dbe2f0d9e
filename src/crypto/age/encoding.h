// The text encodings of the age v1 format, all strict:
//  - unpadded standard base64 (RFC 4648 section 4, no '='), canonical only,
//    used in stanza arguments, stanza bodies and the header MAC;
//  - padded standard base64, canonical only, used by the ASCII armor;
//  - Bech32 (BIP 173) without its 90-character limit, used by keys.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vesk::age {

std::string EncodeBase64Raw(std::span<const uint8_t> data);
std::string EncodeBase64Padded(std::span<const uint8_t> data);

// Decoded size of a well-formed unpadded encoding of `chars` characters, or
// SIZE_MAX when no canonical encoding has that length.
std::size_t Base64RawDecodedSize(std::size_t chars);

// Strict decoders: only the 64 alphabet characters, no whitespace, and the
// unused low bits of the last character must be zero (canonical form). The
// raw decoder rejects any '='; the padded one wants a multiple of 4
// characters with exactly the padding the length needs. `out` receives the
// bytes (it is cleared first); false on any deviation.
bool DecodeBase64Raw(std::string_view text, std::vector<uint8_t>& out);
bool DecodeBase64Padded(std::string_view text, std::vector<uint8_t>& out);

// Padded decoding into a caller's buffer of at least text.size() / 4 * 3
// bytes; returns the number of bytes, or -1 when `text` is not canonical.
long DecodeBase64PaddedInto(std::string_view text, uint8_t* out);

// Bech32 with the checksum over the lowercase form. Encode writes lowercase
// (callers upper-case the whole string where their key type wants it).
std::string Bech32Encode(std::string_view hrp, std::span<const uint8_t> data);

// Decodes an all-lowercase or all-uppercase Bech32 string. `hrp` keeps the
// case it had in `text`; `data` is the 8-bit payload (padding bits must be
// zero and fewer than 5). False on any error.
bool Bech32Decode(std::string_view text, std::string& hrp, std::vector<uint8_t>& data);

}  // namespace vesk::age
