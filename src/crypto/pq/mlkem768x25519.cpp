#include "crypto/pq/mlkem768x25519.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cstring>

#include "crypto/pq/sha3.h"

namespace vesk::pq {
namespace {

using detail::Wipe;

constexpr uint8_t kLabel[6] = {'\\', '.', '/', '/', '^', '\\'};

enum class X25519Result { kOk, kSmallOrder, kFailed };

// X25519(own secret, point) into `out`. OpenSSL refuses an all-zero result,
// which comes exactly from a point of small order; nothing else can fail
// once both keys exist.
X25519Result X25519(EVP_PKEY* own, const uint8_t point[32], uint8_t out[32]) {
  EVP_PKEY* peer = EVP_PKEY_new_raw_public_key(EVP_PKEY_X25519, nullptr, point, 32);
  EVP_PKEY_CTX* ctx = own != nullptr ? EVP_PKEY_CTX_new_from_pkey(nullptr, own, nullptr) : nullptr;
  X25519Result result = X25519Result::kFailed;
  if (peer != nullptr && ctx != nullptr && EVP_PKEY_derive_init(ctx) == 1 &&
      EVP_PKEY_derive_set_peer_ex(ctx, peer, 0) == 1) {
    std::size_t len = 32;
    result = EVP_PKEY_derive(ctx, out, &len) == 1 && len == 32 ? X25519Result::kOk : X25519Result::kSmallOrder;
  }
  EVP_PKEY_CTX_free(ctx);
  EVP_PKEY_free(peer);
  if (result != X25519Result::kOk) Wipe(out, 32);
  return result;
}

// The X25519 key of a 32-byte secret (its public key worked out) and that
// public key; nullptr only if libcrypto fails.
EVP_PKEY* X25519Key(const uint8_t secret[32], uint8_t public_key[32]) {
  EVP_PKEY* key = EVP_PKEY_new_raw_private_key(EVP_PKEY_X25519, nullptr, secret, 32);
  std::size_t len = 32;
  if (key != nullptr && EVP_PKEY_get_raw_public_key(key, public_key, &len) == 1 && len == 32) return key;
  EVP_PKEY_free(key);  // wipes its copy of the secret
  return nullptr;
}

KemStatus FromX25519(X25519Result r) {
  switch (r) {
    case X25519Result::kOk: return KemStatus::kOk;
    case X25519Result::kSmallOrder: return KemStatus::kInvalidKey;
    case X25519Result::kFailed: break;
  }
  return KemStatus::kFailed;
}

bool Combine(const uint8_t ss_ml_kem[32], const uint8_t ss_x25519[32], const uint8_t share[32],
             const uint8_t x25519_public[32], std::span<uint8_t, kHybridSharedSecretSize> shared) {
  return detail::Sha3_256({std::span(ss_ml_kem, 32), std::span(ss_x25519, 32), std::span(share, 32),
                           std::span(x25519_public, 32), std::span(kLabel)},
                          shared);
}

}  // namespace

MlKem768X25519PrivateKey::~MlKem768X25519PrivateKey() { EVP_PKEY_free(x25519_); }

std::unique_ptr<MlKem768X25519PrivateKey> MlKem768X25519PrivateKey::FromSeed(
    std::span<const uint8_t, kHybridSeedSize> seed) {
  std::unique_ptr<MlKem768X25519PrivateKey> key(new MlKem768X25519PrivateKey());
  uint8_t expanded[kMlKemSeedSize + 32];
  bool ok = detail::Shake256({seed}, expanded);
  if (ok) key->ml_kem_ = MlKem768PrivateKey::FromSeed(std::span(expanded).first<kMlKemSeedSize>());
  ok = ok && key->ml_kem_ != nullptr;
  if (ok) {
    const auto ek = key->ml_kem_->EncapsulationKey();
    std::memcpy(key->public_key_, ek.data(), ek.size());
    key->x25519_ = X25519Key(expanded + kMlKemSeedSize, key->public_key_ + kMlKemEncapsulationKeySize);
    ok = key->x25519_ != nullptr;
  }
  Wipe(expanded, sizeof expanded);
  return ok ? std::move(key) : nullptr;
}

KemStatus MlKem768X25519PrivateKey::Decapsulate(std::span<const uint8_t, kHybridCiphertextSize> ciphertext,
                                                std::span<uint8_t, kHybridSharedSecretSize> shared) const {
  uint8_t ss_ml_kem[32], ss_x25519[32];
  const uint8_t* share = ciphertext.data() + kMlKemCiphertextSize;
  KemStatus status = FromX25519(X25519(x25519_, share, ss_x25519));
  if (status == KemStatus::kOk &&
      !ml_kem_->Decapsulate(ciphertext.first<kMlKemCiphertextSize>(), ss_ml_kem))
    status = KemStatus::kFailed;
  if (status == KemStatus::kOk &&
      !Combine(ss_ml_kem, ss_x25519, share, public_key_ + kMlKemEncapsulationKeySize, shared))
    status = KemStatus::kFailed;
  Wipe(ss_ml_kem, sizeof ss_ml_kem);
  Wipe(ss_x25519, sizeof ss_x25519);
  if (status != KemStatus::kOk) Wipe(shared.data(), shared.size());
  return status;
}

bool MlKem768X25519CheckPublicKey(std::span<const uint8_t, kHybridPublicKeySize> public_key) {
  if (!MlKem768CheckEncapsulationKey(public_key.first<kMlKemEncapsulationKeySize>())) return false;
  // A point of small order gives an all-zero product with any scalar.
  static const uint8_t kScalar[32] = {1};
  uint8_t unused[32], out[32];
  static EVP_PKEY* const kAny = X25519Key(kScalar, unused);
  return X25519(kAny, public_key.data() + kMlKemEncapsulationKeySize, out) != X25519Result::kSmallOrder;
}

KemStatus MlKem768X25519Encapsulate(std::span<const uint8_t, kHybridPublicKeySize> public_key,
                                    std::span<const uint8_t, kHybridRandomSize> randomness,
                                    std::span<uint8_t, kHybridCiphertextSize> ciphertext,
                                    std::span<uint8_t, kHybridSharedSecretSize> shared) {
  uint8_t ss_ml_kem[32], ss_x25519[32];
  const uint8_t* x25519_public = public_key.data() + kMlKemEncapsulationKeySize;
  const uint8_t* ephemeral = randomness.data() + kMlKemMessageSize;
  uint8_t* share = ciphertext.data() + kMlKemCiphertextSize;
  KemStatus status = MlKem768Encapsulate(public_key.first<kMlKemEncapsulationKeySize>(),
                                         randomness.first<kMlKemMessageSize>(),
                                         ciphertext.first<kMlKemCiphertextSize>(), ss_ml_kem);
  EVP_PKEY* own = status == KemStatus::kOk ? X25519Key(ephemeral, share) : nullptr;
  if (status == KemStatus::kOk) status = own != nullptr ? FromX25519(X25519(own, x25519_public, ss_x25519)) : KemStatus::kFailed;
  EVP_PKEY_free(own);
  if (status == KemStatus::kOk && !Combine(ss_ml_kem, ss_x25519, share, x25519_public, shared))
    status = KemStatus::kFailed;
  Wipe(ss_ml_kem, sizeof ss_ml_kem);
  Wipe(ss_x25519, sizeof ss_x25519);
  if (status != KemStatus::kOk) {
    Wipe(shared.data(), shared.size());
    Wipe(ciphertext.data(), ciphertext.size());
  }
  return status;
}

KemStatus MlKem768X25519Encapsulate(std::span<const uint8_t, kHybridPublicKeySize> public_key,
                                    std::span<uint8_t, kHybridCiphertextSize> ciphertext,
                                    std::span<uint8_t, kHybridSharedSecretSize> shared) {
  uint8_t randomness[kHybridRandomSize];
  if (RAND_bytes(randomness, sizeof randomness) != 1) return KemStatus::kFailed;
  const KemStatus status = MlKem768X25519Encapsulate(public_key, randomness, ciphertext, shared);
  Wipe(randomness, sizeof randomness);
  return status;
}

}  // namespace vesk::pq
