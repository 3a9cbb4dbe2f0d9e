#include "crypto/pq/sha3.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

namespace vesk::pq::detail {
namespace {

// The digests are fetched once: a fetch per call would cost more than the
// hashing of the short inputs ML-KEM has.
enum Digest { kSha3_256, kSha3_512, kShake128, kShake256, kDigests };

const EVP_MD* Fetched(Digest digest) {
  static const EVP_MD* const kFetched[kDigests] = {
      EVP_MD_fetch(nullptr, "SHA3-256", nullptr),
      EVP_MD_fetch(nullptr, "SHA3-512", nullptr),
      EVP_MD_fetch(nullptr, "SHAKE128", nullptr),
      EVP_MD_fetch(nullptr, "SHAKE256", nullptr),
  };
  return kFetched[digest];
}

// A context per hash, freed at once: a context kept per thread would be
// lost when the process ends while the thread is still exiting.
class Context {
 public:
  Context() : ctx_(EVP_MD_CTX_new()) {}
  ~Context() { EVP_MD_CTX_free(ctx_); }
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;
  EVP_MD_CTX* get() const { return ctx_; }

 private:
  EVP_MD_CTX* ctx_;
};

bool Hash(Digest digest, Parts parts, std::span<uint8_t> out, bool xof) {
  const Context context;
  EVP_MD_CTX* ctx = context.get();
  const EVP_MD* md = Fetched(digest);
  bool ok = ctx != nullptr && md != nullptr && EVP_DigestInit_ex(ctx, md, nullptr) == 1;
  for (const std::span<const uint8_t> part : parts) {
    if (ok && !part.empty()) ok = EVP_DigestUpdate(ctx, part.data(), part.size()) == 1;
  }
  if (ok) {
    if (xof) {
      ok = EVP_DigestFinalXOF(ctx, out.data(), out.size()) == 1;
    } else {
      unsigned int len = 0;
      ok = EVP_DigestFinal_ex(ctx, out.data(), &len) == 1 && len == out.size();
    }
  }
  if (!ok) Wipe(out.data(), out.size());
  return ok;
}

}  // namespace

bool Sha3_256(Parts parts, std::span<uint8_t, 32> out) { return Hash(kSha3_256, parts, out, false); }
bool Sha3_512(Parts parts, std::span<uint8_t, 64> out) { return Hash(kSha3_512, parts, out, false); }
bool Shake128(Parts parts, std::span<uint8_t> out) { return Hash(kShake128, parts, out, true); }
bool Shake256(Parts parts, std::span<uint8_t> out) { return Hash(kShake256, parts, out, true); }

void Wipe(void* p, std::size_t n) { OPENSSL_cleanse(p, n); }

}  // namespace vesk::pq::detail
