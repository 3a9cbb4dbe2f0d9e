// HMAC-SHA-256 and HKDF-SHA-256 (RFC 5869) on top of libsodium, which has
// HMAC but no HKDF in the version this project builds with.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace vesk::age {

// HMAC-SHA-256 of `message` under `key` (any length, empty allowed).
void HmacSha256(std::span<const uint8_t> key, std::span<const uint8_t> message, uint8_t out[32]);

// HKDF-Extract with `salt` (empty is the same as 32 zero bytes), then
// HKDF-Expand with `info` into `out` (at most 255 * 32 bytes).
void HkdfSha256(std::span<const uint8_t> ikm, std::span<const uint8_t> salt, std::string_view info,
                std::span<uint8_t> out);

}  // namespace vesk::age
