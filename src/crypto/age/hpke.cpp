#include "crypto/age/hpke.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/kdf.h>
#include <openssl/params.h>

#include <array>
#include <string>

#include "crypto/age/aead.h"

namespace vesk::age {
namespace {

// "HPKE" || kem_id || kdf_id || aead_id
constexpr uint8_t kSuiteId[10] = {'H', 'P', 'K', 'E', 0x64, 0x7a, 0x00, 0x01, 0x00, 0x03};
constexpr std::string_view kVersionLabel = "HPKE-v1";
const uint8_t kNothing = 0;

// HKDF-SHA256 in one of its two halves (extract: `key` is the input keying
// material and `salt_or_info` the salt; expand: `key` is the pseudorandom
// key and `salt_or_info` the info).
bool Hkdf(bool extract, std::span<const uint8_t> key, std::span<const uint8_t> salt_or_info,
          std::span<uint8_t> out) {
  EVP_KDF* kdf = EVP_KDF_fetch(nullptr, "HKDF", nullptr);
  EVP_KDF_CTX* ctx = kdf != nullptr ? EVP_KDF_CTX_new(kdf) : nullptr;
  EVP_KDF_free(kdf);
  if (ctx == nullptr) return false;
  auto octets = [](const char* name, std::span<const uint8_t> s) {
    return OSSL_PARAM_construct_octet_string(name, const_cast<uint8_t*>(s.empty() ? &kNothing : s.data()), s.size());
  };
  OSSL_PARAM params[5];
  std::size_t n = 0;
  params[n++] = OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, const_cast<char*>("SHA256"), 0);
  params[n++] = OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_MODE,
                                                 const_cast<char*>(extract ? "EXTRACT_ONLY" : "EXPAND_ONLY"), 0);
  params[n++] = octets(OSSL_KDF_PARAM_KEY, key);
  // No salt parameter is the empty salt, which HMAC pads to zeros.
  if (!salt_or_info.empty()) params[n++] = octets(extract ? OSSL_KDF_PARAM_SALT : OSSL_KDF_PARAM_INFO, salt_or_info);
  params[n] = OSSL_PARAM_construct_end();
  const bool ok = EVP_KDF_derive(ctx, out.data(), out.size(), params) == 1;
  EVP_KDF_CTX_free(ctx);
  if (!ok) OPENSSL_cleanse(out.data(), out.size());
  return ok;
}

std::span<const uint8_t> Bytes(std::string_view s) { return {reinterpret_cast<const uint8_t*>(s.data()), s.size()}; }

// LabeledExtract(salt, label, ikm) = Extract(salt, "HPKE-v1" || suite_id || label || ikm)
bool LabeledExtract(std::span<const uint8_t> salt, std::string_view label, std::span<const uint8_t> ikm,
                    std::span<uint8_t, 32> out) {
  SecretBytes labeled(kVersionLabel.size() + sizeof kSuiteId + label.size() + ikm.size());
  uint8_t* p = labeled.data();
  for (const std::span<const uint8_t> part : {Bytes(kVersionLabel), std::span<const uint8_t>(kSuiteId), Bytes(label), ikm}) {
    std::copy(part.begin(), part.end(), p);
    p += part.size();
  }
  return Hkdf(true, labeled.span(), salt, out);
}

// LabeledExpand(prk, label, info, L) = Expand(prk, I2OSP(L, 2) || "HPKE-v1" || suite_id || label || info, L)
bool LabeledExpand(std::span<const uint8_t, 32> prk, std::string_view label, std::span<const uint8_t> info,
                   std::span<uint8_t> out) {
  std::vector<uint8_t> labeled = {static_cast<uint8_t>(out.size() >> 8), static_cast<uint8_t>(out.size())};
  for (const std::span<const uint8_t> part : {Bytes(kVersionLabel), std::span<const uint8_t>(kSuiteId), Bytes(label), info})
    labeled.insert(labeled.end(), part.begin(), part.end());
  return Hkdf(false, prk, labeled, out);
}

// The base mode's key schedule: the AEAD key and base nonce of a shared
// secret (no PSK). The first message's nonce is the base nonce itself.
struct Context {
  std::array<uint8_t, kAeadKeySize> key {};
  std::array<uint8_t, kAeadNonceSize> nonce {};
  ~Context() { Wipe(this, sizeof *this); }
};

bool KeySchedule(std::span<const uint8_t, pq::kHybridSharedSecretSize> shared, std::string_view info, Context& out) {
  std::array<uint8_t, 1 + 32 + 32> context {};  // mode_base || psk_id_hash || info_hash
  std::array<uint8_t, 32> secret {};
  const bool ok = LabeledExtract({}, "psk_id_hash", {}, std::span(context).subspan<1, 32>()) &&
                  LabeledExtract({}, "info_hash", Bytes(info), std::span(context).subspan<33, 32>()) &&
                  LabeledExtract(shared, "secret", {}, secret) && LabeledExpand(secret, "key", context, out.key) &&
                  LabeledExpand(secret, "base_nonce", context, out.nonce);
  Wipe(secret.data(), secret.size());
  return ok;
}

HpkeStatus FromKem(pq::KemStatus s) {
  switch (s) {
    case pq::KemStatus::kOk: return HpkeStatus::kOk;
    case pq::KemStatus::kInvalidKey: return HpkeStatus::kInvalidKey;
    case pq::KemStatus::kFailed: break;
  }
  return HpkeStatus::kFailed;
}

}  // namespace

HpkeStatus HpkeSeal(std::span<const uint8_t, pq::kHybridPublicKeySize> public_key, std::string_view info,
                    std::span<const uint8_t> plaintext, std::vector<uint8_t>& enc, std::vector<uint8_t>& ciphertext) {
  std::vector<uint8_t> encapsulated(pq::kHybridCiphertextSize);
  SecretBytes shared(pq::kHybridSharedSecretSize);
  const HpkeStatus kem = FromKem(pq::MlKem768X25519Encapsulate(
      public_key, std::span<uint8_t, pq::kHybridCiphertextSize>(encapsulated.data(), encapsulated.size()),
      std::span<uint8_t, pq::kHybridSharedSecretSize>(shared.data(), shared.size())));
  if (kem != HpkeStatus::kOk) return kem;
  Context ctx;
  if (!KeySchedule(std::span<const uint8_t, pq::kHybridSharedSecretSize>(shared.data(), shared.size()), info, ctx))
    return HpkeStatus::kFailed;
  std::vector<uint8_t> sealed(plaintext.size() + kAeadTagSize);
  ChaChaPoly aead;
  if (!aead.Seal(ctx.key.data(), ctx.nonce.data(), plaintext.data(), plaintext.size(), sealed.data(),
                 sealed.data() + plaintext.size()))
    return HpkeStatus::kFailed;
  enc = std::move(encapsulated);
  ciphertext = std::move(sealed);
  return HpkeStatus::kOk;
}

HpkeStatus HpkeOpen(const pq::MlKem768X25519PrivateKey& key, std::span<const uint8_t, pq::kHybridCiphertextSize> enc,
                    std::string_view info, std::span<const uint8_t> ciphertext, SecretBytes& plaintext) {
  if (ciphertext.size() < kAeadTagSize) return HpkeStatus::kForged;
  SecretBytes shared(pq::kHybridSharedSecretSize);
  const HpkeStatus kem =
      FromKem(key.Decapsulate(enc, std::span<uint8_t, pq::kHybridSharedSecretSize>(shared.data(), shared.size())));
  if (kem != HpkeStatus::kOk) return kem;
  Context ctx;
  if (!KeySchedule(std::span<const uint8_t, pq::kHybridSharedSecretSize>(shared.data(), shared.size()), info, ctx))
    return HpkeStatus::kFailed;
  const std::size_t size = ciphertext.size() - kAeadTagSize;
  SecretBytes opened(size);
  ChaChaPoly aead;
  switch (aead.Open(ctx.key.data(), ctx.nonce.data(), ciphertext.data(), size, ciphertext.data() + size,
                    opened.data())) {
    case ChaChaPoly::Opened::kOk: plaintext = std::move(opened); return HpkeStatus::kOk;
    case ChaChaPoly::Opened::kForged: return HpkeStatus::kForged;
    case ChaChaPoly::Opened::kFailed: break;
  }
  return HpkeStatus::kFailed;
}

}  // namespace vesk::age
