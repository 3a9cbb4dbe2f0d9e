// Times ML-KEM-768 key generation (from a 64-byte seed), encapsulation and
// decapsulation: this build's implementation against the Python
// cryptography package's (OpenSSL's ML-KEM) in the same run, with the
// medians per operation and the ratios; then the MLKEM768-X25519 hybrid
// KEM as the age post-quantum recipient type uses it.
//
//   vesk_pq_bench [operations per batch] [batches]   (defaults: 2000, 7)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "crypto/pq/mlkem768.h"
#include "crypto/pq/mlkem768x25519.h"

namespace {

using vesk::bench::Median;
using namespace vesk::pq;

// The median over `batches` of the mean time of one call of `body`, in µs.
template <typename Body>
double MicrosPerCall(int per_batch, int batches, Body body) {
  std::vector<double> means;
  for (int b = 0; b < batches; ++b) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < per_batch; ++i) body(i);
    means.push_back(vesk::bench::Seconds(std::chrono::steady_clock::now() - start) * 1e6 / per_batch);
  }
  return Median(means);
}

// The same operations timed in Python, printed as four numbers: key
// generation, encapsulation with a parsed key object, decapsulation, and
// encapsulation from the key's bytes.
const char* kPython = R"(
import sys, time
from cryptography.hazmat.primitives.asymmetric import mlkem
n, batches = int(sys.argv[1]), int(sys.argv[2])
def median(f):
    means = []
    for _ in range(batches):
        t = time.perf_counter()
        for _ in range(n): f()
        means.append((time.perf_counter() - t) * 1e6 / n)
    return sorted(means)[len(means) // 2]
seed = bytes(range(64))
key = mlkem.MLKEM768PrivateKey.from_seed_bytes(seed)
public = key.public_key()
ss, ct = public.encapsulate()
ek = public.public_bytes_raw()
print(median(lambda: mlkem.MLKEM768PrivateKey.from_seed_bytes(seed)),
      median(lambda: public.encapsulate()), median(lambda: key.decapsulate(ct)),
      median(lambda: mlkem.MLKEM768PublicKey.from_public_bytes(ek).encapsulate()))
)";

bool Python(int per_batch, int batches, double out[4]) {
  std::FILE* p = ::popen(("python3 -c '" + std::string(kPython) + "' " + std::to_string(per_batch) + " " +
                          std::to_string(batches) + " 2>/dev/null")
                             .c_str(),
                         "r");
  if (p == nullptr) return false;
  const int got = std::fscanf(p, "%lf %lf %lf %lf", &out[0], &out[1], &out[2], &out[3]);
  return ::pclose(p) == 0 && got == 4;
}

}  // namespace

int main(int argc, char** argv) {
  const int per_batch = argc > 1 ? std::atoi(argv[1]) : 2000;
  const int batches = argc > 2 ? std::atoi(argv[2]) : 7;
  if (per_batch < 1 || batches < 1) {
    std::fprintf(stderr, "usage: vesk_pq_bench [operations per batch] [batches]\n");
    return 2;
  }
  std::array<uint8_t, kMlKemSeedSize> seed {};
  for (std::size_t i = 0; i < seed.size(); ++i) seed[i] = static_cast<uint8_t>(i);
  const auto key = MlKem768PrivateKey::FromSeed(seed);
  std::array<uint8_t, kMlKemMessageSize> m {};
  std::array<uint8_t, kMlKemCiphertextSize> ct {};
  std::array<uint8_t, kMlKemSharedSecretSize> ss {};
  if (key == nullptr || MlKem768Encapsulate(key->EncapsulationKey(), m, ct, ss) != KemStatus::kOk) return 1;
  bool ok = true;
  const double ours[3] = {
      MicrosPerCall(per_batch, batches, [&](int i) {
        seed[0] = static_cast<uint8_t>(i);
        ok = MlKem768PrivateKey::FromSeed(seed) != nullptr && ok;
      }),
      MicrosPerCall(per_batch, batches, [&](int i) {
        m[0] = static_cast<uint8_t>(i);
        ok = MlKem768Encapsulate(key->EncapsulationKey(), m, ct, ss) == KemStatus::kOk && ok;
      }),
      MicrosPerCall(per_batch, batches, [&](int) { ok = key->Decapsulate(ct, ss) && ok; }),
  };
  if (!ok) return 1;
  double python[4];
  const bool have_python = Python(per_batch, batches, python);
  const char* names[3] = {"keygen", "encaps", "decaps"};
  std::printf("ML-KEM-768 (%s implementation), median of %d batches of %d, µs per operation\n",
              MlKemImplementation(), batches, per_batch);
  for (int i = 0; i < 3; ++i) {
    if (have_python)
      std::printf("%-8s ours %7.1f   Python cryptography %7.1f   ratio %.2f\n", names[i], ours[i], python[i],
                  ours[i] / python[i]);
    else
      std::printf("%-8s ours %7.1f   (python3 with cryptography's ML-KEM not found)\n", names[i], ours[i]);
  }
  // Our encapsulation starts from the key's bytes (expanding its matrix
  // each time); Python's above reuses a parsed key object.
  if (have_python)
    std::printf("encaps from the key's bytes: ours %.1f   Python cryptography %.1f   ratio %.2f\n", ours[1], python[3],
                ours[1] / python[3]);

  std::array<uint8_t, kHybridSeedSize> hybrid_seed {};
  const auto hybrid = MlKem768X25519PrivateKey::FromSeed(hybrid_seed);
  std::array<uint8_t, kHybridCiphertextSize> hct {};
  std::array<uint8_t, kHybridSharedSecretSize> hss {};
  if (hybrid == nullptr || MlKem768X25519Encapsulate(hybrid->PublicKey(), hct, hss) != KemStatus::kOk) return 1;
  const int hybrid_batch = std::max(1, per_batch / 4);
  const double h[3] = {
      MicrosPerCall(hybrid_batch, batches, [&](int i) {
        hybrid_seed[0] = static_cast<uint8_t>(i);
        ok = MlKem768X25519PrivateKey::FromSeed(hybrid_seed) != nullptr && ok;
      }),
      MicrosPerCall(hybrid_batch, batches,
                    [&](int) { ok = MlKem768X25519Encapsulate(hybrid->PublicKey(), hct, hss) == KemStatus::kOk && ok; }),
      MicrosPerCall(hybrid_batch, batches, [&](int) { ok = hybrid->Decapsulate(hct, hss) == KemStatus::kOk && ok; }),
  };
  std::printf("MLKEM768-X25519, µs per operation: keygen %.1f   encaps %.1f   decaps %.1f\n", h[0], h[1], h[2]);
  return ok ? 0 : 1;
}
