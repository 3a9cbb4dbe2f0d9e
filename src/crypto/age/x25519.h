// The pieces the X25519-based stanzas share (X25519 itself and the SSH
// Ed25519 type): X25519 through libcrypto, and the file key sealed under a
// one-time wrap key with ChaCha20-Poly1305 and a zero nonce.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "crypto/age/header.h"
#include "crypto/age/secret.h"

namespace vesk::age {

// A sealed file key: the key and its 16-byte tag.
inline constexpr std::size_t kWrappedKeySize = kFileKeySize + 16;

// The X25519 public key of a 32-byte secret; false if libcrypto fails.
bool X25519PublicKey(const uint8_t secret[32], uint8_t out[32]);

// X25519(secret, point) into `out`. kLowOrder when the result is all zeros,
// which happens exactly when `point` has a small order: such a share lets
// its maker know the shared secret without any key, so it is refused.
enum class Shared { kOk, kLowOrder, kFailed };
Shared X25519SharedSecret(const uint8_t secret[32], const uint8_t point[32], uint8_t out[32]);

// The stanza body: the file key sealed under `wrap_key` (each wrap key is
// used exactly once). False if libcrypto fails.
bool SealFileKey(const SecretBytes& file_key, const uint8_t wrap_key[32], std::vector<uint8_t>& body);

enum class OpenedKey { kOk, kWrongKey, kFailed };
OpenedKey OpenFileKey(const std::vector<uint8_t>& body, const uint8_t wrap_key[32], SecretBytes& file_key);

}  // namespace vesk::age
