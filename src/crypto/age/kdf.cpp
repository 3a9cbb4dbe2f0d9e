#include "crypto/age/kdf.h"

#include <sodium.h>

#include <algorithm>
#include <cstdlib>

#include "crypto/age/secret.h"

namespace vesk::age {

void HmacSha256(std::span<const uint8_t> key, std::span<const uint8_t> message, uint8_t out[32]) {
  static const uint8_t kNothing = 0;
  crypto_auth_hmacsha256_state state;
  crypto_auth_hmacsha256_init(&state, key.empty() ? &kNothing : key.data(), key.size());
  crypto_auth_hmacsha256_update(&state, message.empty() ? &kNothing : message.data(), message.size());
  crypto_auth_hmacsha256_final(&state, out);
  Wipe(&state, sizeof state);
}

void HkdfSha256(std::span<const uint8_t> ikm, std::span<const uint8_t> salt, std::string_view info,
                std::span<uint8_t> out) {
  if (out.size() > 255 * 32) std::abort();  // a programming error: RFC 5869 allows no more
  uint8_t prk[32];
  HmacSha256(salt, ikm, prk);
  uint8_t block[32];
  std::size_t done = 0;
  for (uint8_t counter = 1; done < out.size(); ++counter) {
    crypto_auth_hmacsha256_state state;
    crypto_auth_hmacsha256_init(&state, prk, sizeof prk);
    if (counter > 1) crypto_auth_hmacsha256_update(&state, block, sizeof block);
    crypto_auth_hmacsha256_update(&state, reinterpret_cast<const uint8_t*>(info.data()), info.size());
    crypto_auth_hmacsha256_update(&state, &counter, 1);
    crypto_auth_hmacsha256_final(&state, block);
    Wipe(&state, sizeof state);
    const std::size_t n = std::min(out.size() - done, sizeof block);
    std::copy_n(block, n, out.data() + done);
    done += n;
  }
  Wipe(block, sizeof block);
  Wipe(prk, sizeof prk);
}

}  // namespace vesk::age
