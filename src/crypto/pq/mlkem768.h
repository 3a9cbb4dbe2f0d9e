// ML-KEM-768 (FIPS 203): key generation from a 64-byte seed d || z,
// encapsulation with the encapsulation-key check, and decapsulation with
// implicit rejection.
//
// Built either on this folder's own implementation, which hashes with
// OpenSSL's SHA-3 and keeps every branch and memory index independent of
// secrets, or, where the platform's OpenSSL has ML-KEM (3.5 and later), on
// OpenSSL's own (the CMake option VESK_USE_OPENSSL_MLKEM, detected when
// configuring). Both give the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace vesk::pq {

inline constexpr std::size_t kMlKemSeedSize = 64;  // d || z
inline constexpr std::size_t kMlKemEncapsulationKeySize = 1184;
inline constexpr std::size_t kMlKemCiphertextSize = 1088;
inline constexpr std::size_t kMlKemMessageSize = 32;  // the encapsulation's randomness
inline constexpr std::size_t kMlKemSharedSecretSize = 32;

enum class KemStatus {
  kOk,
  kInvalidKey,  // a public input fails its check (here: an encapsulation key with a coefficient >= q)
  kFailed,      // libcrypto failed (no memory, no SHA-3, no randomness)
};

// "own" or "OpenSSL": which implementation this build uses.
const char* MlKemImplementation();

class MlKem768PrivateKey {
 public:
  // The key pair of `seed` (ML-KEM.KeyGen_internal(d, z)); nullptr only if
  // libcrypto fails.
  static std::unique_ptr<MlKem768PrivateKey> FromSeed(std::span<const uint8_t, kMlKemSeedSize> seed);
  ~MlKem768PrivateKey();
  MlKem768PrivateKey(const MlKem768PrivateKey&) = delete;
  MlKem768PrivateKey& operator=(const MlKem768PrivateKey&) = delete;

  std::span<const uint8_t, kMlKemEncapsulationKeySize> EncapsulationKey() const;

  // Every ciphertext gives a shared secret: one that was not made for this
  // key gives a pseudorandom one (implicit rejection), in the same time.
  // False only if libcrypto fails; `shared` is wiped then.
  [[nodiscard]] bool Decapsulate(std::span<const uint8_t, kMlKemCiphertextSize> ciphertext,
                                 std::span<uint8_t, kMlKemSharedSecretSize> shared) const;

  struct State;

 private:
  explicit MlKem768PrivateKey(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

// True when `key` passes the encapsulation-key check (every 12-bit
// coefficient below q, so that it encodes back to the same bytes).
bool MlKem768CheckEncapsulationKey(std::span<const uint8_t, kMlKemEncapsulationKeySize> key);

// ML-KEM.Encaps_internal with the caller's 32 random bytes `message`
// (tests pass fixed ones), after the encapsulation-key check.
KemStatus MlKem768Encapsulate(std::span<const uint8_t, kMlKemEncapsulationKeySize> key,
                              std::span<const uint8_t, kMlKemMessageSize> message,
                              std::span<uint8_t, kMlKemCiphertextSize> ciphertext,
                              std::span<uint8_t, kMlKemSharedSecretSize> shared);

}  // namespace vesk::pq
