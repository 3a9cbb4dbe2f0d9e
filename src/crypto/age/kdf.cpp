#include "crypto/age/kdf.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/kdf.h>
#include <openssl/params.h>

#include <climits>

namespace vesk::age {
namespace {

// libcrypto treats a null pointer as "not given" even with a zero length;
// empty inputs point here instead.
const uint8_t kNothing = 0;

const uint8_t* NonNull(std::span<const uint8_t> s) { return s.empty() ? &kNothing : s.data(); }

OSSL_PARAM Octets(const char* name, const void* data, std::size_t size) {
  return OSSL_PARAM_construct_octet_string(name, const_cast<void*>(size == 0 ? &kNothing : data), size);
}

}  // namespace

bool HmacSha256(std::span<const uint8_t> key, std::span<const uint8_t> message, uint8_t out[32]) {
  if (key.size() > INT_MAX) return false;
  unsigned int len = 0;
  return HMAC(EVP_sha256(), NonNull(key), static_cast<int>(key.size()), NonNull(message), message.size(), out,
              &len) != nullptr &&
         len == 32;
}

bool HkdfSha256(std::span<const uint8_t> ikm, std::span<const uint8_t> salt, std::string_view info,
                std::span<uint8_t> out) {
  if (out.empty()) return true;
  if (out.size() > 255 * 32) return false;
  EVP_KDF* kdf = EVP_KDF_fetch(nullptr, "HKDF", nullptr);
  EVP_KDF_CTX* ctx = kdf != nullptr ? EVP_KDF_CTX_new(kdf) : nullptr;
  EVP_KDF_free(kdf);
  if (ctx == nullptr) return false;
  OSSL_PARAM params[5];
  std::size_t n = 0;
  params[n++] = OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, const_cast<char*>("SHA256"), 0);
  params[n++] = Octets(OSSL_KDF_PARAM_KEY, ikm.data(), ikm.size());
  // No salt parameter means the empty salt, which HMAC pads to zeros.
  if (!salt.empty()) params[n++] = Octets(OSSL_KDF_PARAM_SALT, salt.data(), salt.size());
  if (!info.empty()) params[n++] = Octets(OSSL_KDF_PARAM_INFO, info.data(), info.size());
  params[n] = OSSL_PARAM_construct_end();
  const bool ok = EVP_KDF_derive(ctx, out.data(), out.size(), params) == 1;
  EVP_KDF_CTX_free(ctx);  // wipes the context's copies of the key
  if (!ok) OPENSSL_cleanse(out.data(), out.size());
  return ok;
}

}  // namespace vesk::age
