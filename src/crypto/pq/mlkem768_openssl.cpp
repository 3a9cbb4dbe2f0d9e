// ML-KEM-768 through OpenSSL's own implementation (OpenSSL 3.5 and later),
// chosen when configuring where the platform's OpenSSL has it.
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <array>
#include <cstring>

#include "crypto/pq/mlkem768.h"

namespace vesk::pq {
namespace {

constexpr const char* kAlgorithm = "ML-KEM-768";

OSSL_PARAM Octets(const char* name, const uint8_t* data, std::size_t size) {
  return OSSL_PARAM_construct_octet_string(name, const_cast<uint8_t*>(data), size);
}

}  // namespace

struct MlKem768PrivateKey::State {
  EVP_PKEY* key = nullptr;
  std::array<uint8_t, kMlKemEncapsulationKeySize> ek {};
  ~State() { EVP_PKEY_free(key); }
};

const char* MlKemImplementation() { return "OpenSSL"; }

MlKem768PrivateKey::MlKem768PrivateKey(std::unique_ptr<State> state) : state_(std::move(state)) {}
MlKem768PrivateKey::~MlKem768PrivateKey() = default;

std::span<const uint8_t, kMlKemEncapsulationKeySize> MlKem768PrivateKey::EncapsulationKey() const {
  return state_->ek;
}

std::unique_ptr<MlKem768PrivateKey> MlKem768PrivateKey::FromSeed(std::span<const uint8_t, kMlKemSeedSize> seed) {
  auto state = std::make_unique<State>();
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_name(nullptr, kAlgorithm, nullptr);
  const OSSL_PARAM params[] = {Octets(OSSL_PKEY_PARAM_ML_KEM_SEED, seed.data(), seed.size()), OSSL_PARAM_END};
  std::size_t len = 0;
  const bool ok = ctx != nullptr && EVP_PKEY_keygen_init(ctx) == 1 && EVP_PKEY_CTX_set_params(ctx, params) == 1 &&
                  EVP_PKEY_generate(ctx, &state->key) == 1 &&
                  EVP_PKEY_get_octet_string_param(state->key, OSSL_PKEY_PARAM_PUB_KEY, state->ek.data(),
                                                  state->ek.size(), &len) == 1 &&
                  len == state->ek.size();
  EVP_PKEY_CTX_free(ctx);
  if (!ok) return nullptr;
  return std::unique_ptr<MlKem768PrivateKey>(new MlKem768PrivateKey(std::move(state)));
}

bool MlKem768PrivateKey::Decapsulate(std::span<const uint8_t, kMlKemCiphertextSize> ciphertext,
                                     std::span<uint8_t, kMlKemSharedSecretSize> shared) const {
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_pkey(nullptr, state_->key, nullptr);
  std::size_t len = shared.size();
  const bool ok = ctx != nullptr && EVP_PKEY_decapsulate_init(ctx, nullptr) == 1 &&
                  EVP_PKEY_decapsulate(ctx, shared.data(), &len, ciphertext.data(), ciphertext.size()) == 1 &&
                  len == shared.size();
  EVP_PKEY_CTX_free(ctx);
  if (!ok) OPENSSL_cleanse(shared.data(), shared.size());
  return ok;
}

namespace {

// The public key object of `key`, or nullptr when OpenSSL refuses it
// (it runs the encapsulation-key check when importing).
EVP_PKEY* PublicKey(std::span<const uint8_t, kMlKemEncapsulationKeySize> key) {
  return EVP_PKEY_new_raw_public_key_ex(nullptr, kAlgorithm, nullptr, key.data(), key.size());
}

}  // namespace

bool MlKem768CheckEncapsulationKey(std::span<const uint8_t, kMlKemEncapsulationKeySize> key) {
  EVP_PKEY* pkey = PublicKey(key);
  EVP_PKEY_free(pkey);
  return pkey != nullptr;
}

KemStatus MlKem768Encapsulate(std::span<const uint8_t, kMlKemEncapsulationKeySize> key,
                              std::span<const uint8_t, kMlKemMessageSize> message,
                              std::span<uint8_t, kMlKemCiphertextSize> ciphertext,
                              std::span<uint8_t, kMlKemSharedSecretSize> shared) {
  EVP_PKEY* pkey = PublicKey(key);
  if (pkey == nullptr) return KemStatus::kInvalidKey;
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_pkey(nullptr, pkey, nullptr);
  const OSSL_PARAM params[] = {Octets(OSSL_KEM_PARAM_IKME, message.data(), message.size()), OSSL_PARAM_END};
  std::size_t ct_len = ciphertext.size(), ss_len = shared.size();
  const bool ok = ctx != nullptr && EVP_PKEY_encapsulate_init(ctx, params) == 1 &&
                  EVP_PKEY_encapsulate(ctx, ciphertext.data(), &ct_len, shared.data(), &ss_len) == 1 &&
                  ct_len == ciphertext.size() && ss_len == shared.size();
  EVP_PKEY_CTX_free(ctx);
  EVP_PKEY_free(pkey);
  if (!ok) {
    OPENSSL_cleanse(shared.data(), shared.size());
    return KemStatus::kFailed;
  }
  return KemStatus::kOk;
}

}  // namespace vesk::pq
