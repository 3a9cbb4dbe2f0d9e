// ChaCha20-Poly1305 (RFC 8439) as age uses it: a 32-byte key, a 12-byte
// nonce, no associated data and a 16-byte tag, through one OpenSSL cipher
// context that is set up once and re-keyed for every message. An object
// is for one thread at a time; parallel code keeps one per thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include <openssl/types.h>

namespace vesk::age {

inline constexpr std::size_t kAeadKeySize = 32;
inline constexpr std::size_t kAeadNonceSize = 12;
inline constexpr std::size_t kAeadTagSize = 16;

class ChaChaPoly {
 public:
  ChaChaPoly();
  ~ChaChaPoly();
  ChaChaPoly(const ChaChaPoly&) = delete;
  ChaChaPoly& operator=(const ChaChaPoly&) = delete;

  // False if libcrypto could not make the context; nothing else works then.
  bool ready() const { return ready_; }

  // Encrypts `size` bytes from `in` to `out` (the same buffer or apart, not
  // partly overlapping) and writes the tag. False only if libcrypto fails.
  [[nodiscard]] bool Seal(const uint8_t key[kAeadKeySize], const uint8_t nonce[kAeadNonceSize], const uint8_t* in,
                          std::size_t size, uint8_t* out, uint8_t tag[kAeadTagSize]);

  enum class Opened { kOk, kForged, kFailed };
  // Decrypts `size` bytes from `in` to `out` and checks `tag` (in constant
  // time). kForged when it does not authenticate: `out` has been wiped.
  // kFailed when libcrypto fails; `out` is wiped then too.
  [[nodiscard]] Opened Open(const uint8_t key[kAeadKeySize], const uint8_t nonce[kAeadNonceSize], const uint8_t* in,
                            std::size_t size, const uint8_t tag[kAeadTagSize], uint8_t* out);

 private:
  bool Start(const uint8_t* key, const uint8_t* nonce, int encrypt);

  EVP_CIPHER_CTX* ctx_ = nullptr;
  bool ready_ = false;
};

}  // namespace vesk::age
