// The SHA-3 functions ML-KEM and the hybrid KEM use, from OpenSSL's
// libcrypto: SHA3-256, SHA3-512, SHAKE128 and SHAKE256 over the
// concatenation of a few byte strings. Each returns false only if
// libcrypto fails (no memory, or a provider without SHA-3); the output is
// then wiped and must not be used.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>

namespace vesk::pq::detail {

using Parts = std::initializer_list<std::span<const uint8_t>>;

[[nodiscard]] bool Sha3_256(Parts parts, std::span<uint8_t, 32> out);
[[nodiscard]] bool Sha3_512(Parts parts, std::span<uint8_t, 64> out);
[[nodiscard]] bool Shake128(Parts parts, std::span<uint8_t> out);
[[nodiscard]] bool Shake256(Parts parts, std::span<uint8_t> out);

// Overwrites `n` bytes at `p` in a way the compiler keeps.
void Wipe(void* p, std::size_t n);

}  // namespace vesk::pq::detail
