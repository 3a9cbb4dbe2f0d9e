#include "crypto/age/aead.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <climits>

namespace vesk::age {

ChaChaPoly::ChaChaPoly() : ctx_(EVP_CIPHER_CTX_new()) {
  // Choose the cipher and nonce length once; each message then only sets
  // its key and nonce, which keeps the per-chunk set-up small.
  ready_ = ctx_ != nullptr && EVP_CipherInit_ex(ctx_, EVP_chacha20_poly1305(), nullptr, nullptr, nullptr, 1) == 1 &&
           EVP_CIPHER_CTX_ctrl(ctx_, EVP_CTRL_AEAD_SET_IVLEN, static_cast<int>(kAeadNonceSize), nullptr) == 1;
}

ChaChaPoly::~ChaChaPoly() { EVP_CIPHER_CTX_free(ctx_); }  // frees and wipes the key schedule

bool ChaChaPoly::Start(const uint8_t* key, const uint8_t* nonce, int encrypt) {
  return ready_ && EVP_CipherInit_ex(ctx_, nullptr, nullptr, key, nonce, encrypt) == 1;
}

bool ChaChaPoly::Seal(const uint8_t key[kAeadKeySize], const uint8_t nonce[kAeadNonceSize], const uint8_t* in,
                      std::size_t size, uint8_t* out, uint8_t tag[kAeadTagSize]) {
  if (size > INT_MAX || !Start(key, nonce, 1)) return false;
  int len = 0;
  if (size > 0 && (EVP_EncryptUpdate(ctx_, out, &len, in, static_cast<int>(size)) != 1 ||
                   len != static_cast<int>(size)))
    return false;
  int tail = 0;
  return EVP_EncryptFinal_ex(ctx_, out + size, &tail) == 1 && tail == 0 &&
         EVP_CIPHER_CTX_ctrl(ctx_, EVP_CTRL_AEAD_GET_TAG, static_cast<int>(kAeadTagSize), tag) == 1;
}

ChaChaPoly::Opened ChaChaPoly::Open(const uint8_t key[kAeadKeySize], const uint8_t nonce[kAeadNonceSize],
                                    const uint8_t* in, std::size_t size, const uint8_t tag[kAeadTagSize],
                                    uint8_t* out) {
  if (size > INT_MAX) return Opened::kFailed;
  auto failed = [&](Opened why) {
    if (size > 0) OPENSSL_cleanse(out, size);
    return why;
  };
  if (!Start(key, nonce, 0) ||
      EVP_CIPHER_CTX_ctrl(ctx_, EVP_CTRL_AEAD_SET_TAG, static_cast<int>(kAeadTagSize), const_cast<uint8_t*>(tag)) != 1)
    return failed(Opened::kFailed);
  int len = 0;
  if (size > 0 && (EVP_DecryptUpdate(ctx_, out, &len, in, static_cast<int>(size)) != 1 ||
                   len != static_cast<int>(size)))
    return failed(Opened::kFailed);
  // The final step compares the tags in constant time; it fails only when
  // they differ.
  int tail = 0;
  if (EVP_DecryptFinal_ex(ctx_, out + size, &tail) != 1) return failed(Opened::kForged);
  return tail == 0 ? Opened::kOk : failed(Opened::kFailed);
}

}  // namespace vesk::age
