// MLKEM768-X25519, the hybrid KEM of ML-KEM-768 and X25519 with the SHA3-256
// combiner (HPKE KEM 0x647a):
//
//   private key   32 random bytes (the seed)
//   expansion     SHAKE256(seed, 96) = ML-KEM seed d || z (64) || X25519 secret (32)
//   public key    ML-KEM encapsulation key (1184) || X25519 public key (32)
//   ciphertext    ML-KEM ciphertext (1088) || X25519 ephemeral share (32)
//   shared secret SHA3-256(ss_ML-KEM || ss_X25519 || share || X25519 public key || "\.//^\")
//
// X25519 is OpenSSL's; it refuses an all-zero X25519 result, so a share or
// public key of small order is refused here (kInvalidKey).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include <openssl/types.h>

#include "crypto/pq/mlkem768.h"

namespace vesk::pq {

inline constexpr std::size_t kHybridSeedSize = 32;
inline constexpr std::size_t kHybridPublicKeySize = kMlKemEncapsulationKeySize + 32;  // 1216
inline constexpr std::size_t kHybridCiphertextSize = kMlKemCiphertextSize + 32;       // 1120
inline constexpr std::size_t kHybridRandomSize = kMlKemMessageSize + 32;              // ML-KEM message || X25519 secret
inline constexpr std::size_t kHybridSharedSecretSize = 32;

class MlKem768X25519PrivateKey {
 public:
  // The key pair of a 32-byte seed; nullptr only if libcrypto fails.
  static std::unique_ptr<MlKem768X25519PrivateKey> FromSeed(std::span<const uint8_t, kHybridSeedSize> seed);
  ~MlKem768X25519PrivateKey();
  MlKem768X25519PrivateKey(const MlKem768X25519PrivateKey&) = delete;
  MlKem768X25519PrivateKey& operator=(const MlKem768X25519PrivateKey&) = delete;

  std::span<const uint8_t, kHybridPublicKeySize> PublicKey() const { return public_key_; }

  // kInvalidKey when the ciphertext's X25519 share has a small order.
  KemStatus Decapsulate(std::span<const uint8_t, kHybridCiphertextSize> ciphertext,
                        std::span<uint8_t, kHybridSharedSecretSize> shared) const;

 private:
  MlKem768X25519PrivateKey() = default;
  std::unique_ptr<MlKem768PrivateKey> ml_kem_;
  EVP_PKEY* x25519_ = nullptr;  // kept, so that its public key is worked out once
  uint8_t public_key_[kHybridPublicKeySize] = {};
};

// True when the ML-KEM half passes the encapsulation-key check and the
// X25519 half does not have a small order.
bool MlKem768X25519CheckPublicKey(std::span<const uint8_t, kHybridPublicKeySize> public_key);

// Encapsulation with the caller's randomness (tests pass fixed bytes).
// kInvalidKey when the public key fails MlKem768X25519CheckPublicKey.
KemStatus MlKem768X25519Encapsulate(std::span<const uint8_t, kHybridPublicKeySize> public_key,
                                    std::span<const uint8_t, kHybridRandomSize> randomness,
                                    std::span<uint8_t, kHybridCiphertextSize> ciphertext,
                                    std::span<uint8_t, kHybridSharedSecretSize> shared);

// The same with randomness from the system's generator.
KemStatus MlKem768X25519Encapsulate(std::span<const uint8_t, kHybridPublicKeySize> public_key,
                                    std::span<uint8_t, kHybridCiphertextSize> ciphertext,
                                    std::span<uint8_t, kHybridSharedSecretSize> shared);

}  // namespace vesk::pq
