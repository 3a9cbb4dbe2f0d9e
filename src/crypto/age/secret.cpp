#include "crypto/age/secret.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/kdf.h>
#include <openssl/rand.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>

namespace vesk::age {
namespace {

bool AllAlgorithmsPresent() {
  if (OPENSSL_init_crypto(0, nullptr) != 1) return false;
  EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, "ChaCha20-Poly1305", nullptr);
  EVP_KDF* hkdf = EVP_KDF_fetch(nullptr, "HKDF", nullptr);
  EVP_KDF* scrypt = EVP_KDF_fetch(nullptr, "SCRYPT", nullptr);
  EVP_MAC* hmac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
  EVP_MD* sha256 = EVP_MD_fetch(nullptr, "SHA256", nullptr);
  EVP_PKEY_CTX* x25519 = EVP_PKEY_CTX_new_from_name(nullptr, "X25519", nullptr);
  const bool all = cipher != nullptr && hkdf != nullptr && scrypt != nullptr && hmac != nullptr &&
                   sha256 != nullptr && x25519 != nullptr;
  EVP_PKEY_CTX_free(x25519);
  EVP_MD_free(sha256);
  EVP_MAC_free(hmac);
  EVP_KDF_free(scrypt);
  EVP_KDF_free(hkdf);
  EVP_CIPHER_free(cipher);
  return all;
}

}  // namespace

bool CryptoReady() {
  static const bool ready = AllAlgorithmsPresent();
  return ready;
}

void ReleaseThreadState() { OPENSSL_thread_stop(); }

bool RandomBytes(void* p, std::size_t n) {
  auto* out = static_cast<unsigned char*>(p);
  // RAND_bytes takes an int count; age asks for a few dozen bytes at a time.
  while (n > 0) {
    const int step = static_cast<int>(std::min<std::size_t>(n, INT_MAX));
    if (RAND_bytes(out, step) != 1) return false;
    out += step;
    n -= static_cast<std::size_t>(step);
  }
  return true;
}

void Wipe(void* p, std::size_t n) {
  if (p != nullptr && n > 0) OPENSSL_cleanse(p, n);
}

SecretBytes::SecretBytes(std::size_t n) : data_(n > 0 ? new uint8_t[n]() : nullptr), size_(n) {}

SecretBytes::SecretBytes(const void* data, std::size_t n) : SecretBytes(n) {
  if (n > 0) std::memcpy(data_, data, n);
}

SecretBytes::~SecretBytes() { Release(); }

SecretBytes::SecretBytes(SecretBytes&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

SecretBytes& SecretBytes::operator=(SecretBytes&& other) noexcept {
  if (this != &other) {
    Release();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

void SecretBytes::Release() {
  Wipe(data_, size_);
  delete[] data_;
  data_ = nullptr;
  size_ = 0;
}

}  // namespace vesk::age
