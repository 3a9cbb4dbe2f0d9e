// HPKE (RFC 9180) in base mode, single shot, with the suite the age
// mlkem768x25519 stanza uses: KEM MLKEM768-X25519 (0x647a), KDF
// HKDF-SHA256 (0x0001), AEAD ChaCha20-Poly1305 (0x0003), no associated data.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "crypto/age/secret.h"
#include "crypto/pq/mlkem768x25519.h"

namespace vesk::age {

enum class HpkeStatus {
  kOk,
  kInvalidKey,  // the recipient's public key, or the encapsulated key's X25519 share, is refused
  kForged,      // the ciphertext does not authenticate under this key
  kFailed,      // libcrypto failed
};

// SealBase(pkR, info, aad = "", plaintext): the encapsulated key (1120
// bytes) into `enc` and the plaintext sealed with its tag into `ciphertext`.
HpkeStatus HpkeSeal(std::span<const uint8_t, pq::kHybridPublicKeySize> public_key, std::string_view info,
                    std::span<const uint8_t> plaintext, std::vector<uint8_t>& enc, std::vector<uint8_t>& ciphertext);

// OpenBase(enc, skR, info, aad = "", ciphertext) into `plaintext`.
HpkeStatus HpkeOpen(const pq::MlKem768X25519PrivateKey& key, std::span<const uint8_t, pq::kHybridCiphertextSize> enc,
                    std::string_view info, std::span<const uint8_t> ciphertext, SecretBytes& plaintext);

}  // namespace vesk::age
