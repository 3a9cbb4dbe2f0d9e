// HMAC-SHA-256 and HKDF-SHA-256 (RFC 5869) through OpenSSL's libcrypto.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace vesk::age {

// HMAC-SHA-256 of `message` under `key` (any length, empty allowed).
// False only if libcrypto fails (out of memory); `out` is then unusable.
[[nodiscard]] bool HmacSha256(std::span<const uint8_t> key, std::span<const uint8_t> message, uint8_t out[32]);

// HKDF-Extract with `salt` (empty is the same as 32 zero bytes), then
// HKDF-Expand with `info` into `out`. False if libcrypto fails or `out` is
// longer than RFC 5869 allows (255 * 32 bytes); `out` is then unusable.
[[nodiscard]] bool HkdfSha256(std::span<const uint8_t> ikm, std::span<const uint8_t> salt, std::string_view info,
                              std::span<uint8_t> out);

}  // namespace vesk::age
