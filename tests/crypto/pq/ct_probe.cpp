// Runs ML-KEM-768 and MLKEM768-X25519 key generation, encapsulation and
// decapsulation (of a good and of an altered ciphertext) with every secret
// input marked undefined for Valgrind's memcheck: run under memcheck, any
// branch or memory index that depends on a secret is reported. Public
// outputs (public keys, ciphertexts) are declared defined before they are
// used as inputs, as a peer would receive them.
#include <valgrind/memcheck.h>

#include <array>
#include <cstdio>

#include "crypto/pq/mlkem768.h"
#include "crypto/pq/mlkem768x25519.h"

using namespace vesk::pq;

template <typename T>
void Secret(T& bytes) { VALGRIND_MAKE_MEM_UNDEFINED(bytes.data(), bytes.size()); }
template <typename T>
void Public(T& bytes) { VALGRIND_MAKE_MEM_DEFINED(bytes.data(), bytes.size()); }

int main() {
  int failures = 0;
  {
    std::array<uint8_t, kMlKemSeedSize> seed {1, 2, 3};
    Secret(seed);
    const auto key = MlKem768PrivateKey::FromSeed(seed);
    std::array<uint8_t, kMlKemEncapsulationKeySize> ek {};
    std::copy(key->EncapsulationKey().begin(), key->EncapsulationKey().end(), ek.begin());
    Public(ek);
    std::array<uint8_t, kMlKemMessageSize> m {4, 5, 6};
    Secret(m);
    std::array<uint8_t, kMlKemCiphertextSize> ct {};
    std::array<uint8_t, kMlKemSharedSecretSize> ss {}, opened {};
    failures += MlKem768Encapsulate(ek, m, ct, ss) != KemStatus::kOk;
    Public(ct);
    failures += !key->Decapsulate(ct, opened);
    ct[100] ^= 1;
    failures += !key->Decapsulate(ct, opened);
  }
  {
    std::array<uint8_t, kHybridSeedSize> seed {7, 8, 9};
    Secret(seed);
    const auto key = MlKem768X25519PrivateKey::FromSeed(seed);
    std::array<uint8_t, kHybridPublicKeySize> pk {};
    std::copy(key->PublicKey().begin(), key->PublicKey().end(), pk.begin());
    Public(pk);
    std::array<uint8_t, kHybridRandomSize> random {10, 11, 12};
    Secret(random);
    std::array<uint8_t, kHybridCiphertextSize> ct {};
    std::array<uint8_t, kHybridSharedSecretSize> ss {}, opened {};
    failures += MlKem768X25519Encapsulate(pk, random, ct, ss) != KemStatus::kOk;
    Public(ct);
    failures += key->Decapsulate(ct, opened) != KemStatus::kOk;
    ct[5] ^= 1;
    failures += key->Decapsulate(ct, opened) != KemStatus::kOk;
  }
  std::printf("%d failures\n", failures);
  return failures == 0 ? 0 : 1;
}
