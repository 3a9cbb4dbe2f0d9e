// ML-KEM-768 on 16-bit coefficients in Montgomery form with a 7-layer
// number-theoretic transform, hashing through OpenSSL's SHA-3.
//
// Secret-independent timing: secrets (s, the message, r, the implicit-
// rejection value z and the shared secret) only ever pass through
// arithmetic, shifts and masks. Nothing branches on them and no table is
// indexed by them; the rounding divisions of Compress are multiplications
// and shifts, and decapsulation compares and selects with masks. Branches
// and table indices depend only on public data: loop counters, the public
// seed rho (matrix sampling) and the ciphertext.
#include <openssl/rand.h>

#include <array>
#include <cstring>

#include "crypto/pq/mlkem768.h"
#include "crypto/pq/sha3.h"

// The constant-time check builds this file with VESK_CT_CHECK: secrets are
// then marked undefined for Valgrind's memcheck, which reports any branch
// or memory index that depends on them. Values that are public although
// made from secrets (rho, which the public key holds) are declared defined.
#ifdef VESK_CT_CHECK
#include <valgrind/memcheck.h>
#define VESK_PUBLIC(p, n) VALGRIND_MAKE_MEM_DEFINED(p, n)
#else
#define VESK_PUBLIC(p, n) ((void)0)
#endif

namespace vesk::pq {
namespace {

using detail::Wipe;

constexpr int kN = 256;
constexpr int kK = 3;
constexpr int16_t kQ = 3329;
constexpr int kDu = 10;
constexpr int kDv = 4;
constexpr std::size_t kPolyBytes = 384;  // 256 coefficients of 12 bits
constexpr std::size_t kVectorBytes = kK * kPolyBytes;
constexpr std::size_t kUBytes = kK * kN * kDu / 8;  // 960
constexpr std::size_t kVBytes = kN * kDv / 8;       // 128
constexpr std::size_t kNoiseBytes = 64 * 2;          // eta = 2 for every noise polynomial of ML-KEM-768
static_assert(kUBytes + kVBytes == kMlKemCiphertextSize);
static_assert(kVectorBytes + 32 == kMlKemEncapsulationKeySize);

using Poly = std::array<int16_t, kN>;
using Vector = std::array<Poly, kK>;
using Matrix = std::array<Vector, kK>;  // a[i][j] is the entry of row i, column j, in the NTT domain

// ---- arithmetic mod q ----

constexpr int16_t kQInverse = -3327;  // q^-1 mod 2^16

// a * 2^-16 mod q, in (-q, q), for |a| < q * 2^15.
constexpr int16_t MontgomeryReduce(int32_t a) {
  const auto t = static_cast<int16_t>(static_cast<int16_t>(a) * kQInverse);
  return static_cast<int16_t>((a - static_cast<int32_t>(t) * kQ) >> 16);
}

// a mod q, centred: in [-(q-1)/2, (q-1)/2].
constexpr int16_t BarrettReduce(int16_t a) {
  constexpr int32_t kV = ((1 << 26) + kQ / 2) / kQ;
  const auto t = static_cast<int16_t>((kV * a + (1 << 25)) >> 26);
  return static_cast<int16_t>(a - t * kQ);
}

constexpr int16_t FqMul(int16_t a, int16_t b) { return MontgomeryReduce(static_cast<int32_t>(a) * b); }

// a mod q in [0, q) for a in (-q, q).
constexpr uint16_t Canonical(int16_t a) {
  return static_cast<uint16_t>(a + ((a >> 15) & kQ));
}

constexpr int ReverseBits7(int i) {
  int r = 0;
  for (int b = 0; b < 7; ++b) r |= ((i >> b) & 1) << (6 - b);
  return r;
}

// zeta^bitrev7(i) * 2^16 mod q, centred, where zeta = 17 is the primitive
// 256th root of unity mod q.
constexpr std::array<int16_t, 128> MakeZetas() {
  std::array<int16_t, 128> zetas {};
  for (int i = 0; i < 128; ++i) {
    int64_t v = 1;
    for (int e = 0; e < ReverseBits7(i); ++e) v = v * 17 % kQ;
    v = v * 65536 % kQ;
    if (v > kQ / 2) v -= kQ;
    zetas[i] = static_cast<int16_t>(v);
  }
  return zetas;
}
constexpr std::array<int16_t, 128> kZetas = MakeZetas();
static_assert(kZetas[0] == -1044 && kZetas[1] == -758 && kZetas[127] == 1628);

// Compress_d(x) = round(2^d * x / q) mod 2^d for x in [0, q), as a
// multiplication and a shift: a division instruction's time may depend on
// its operands.
template <int D>
constexpr uint32_t Compress(uint16_t x) {
  uint64_t t = (static_cast<uint64_t>(x) << D) + 1665;
  if constexpr (D == kDu) {
    t = t * 1290167 >> 32;
  } else {
    t = t * 80635 >> 28;
  }
  return static_cast<uint32_t>(t) & ((1u << D) - 1);
}

// The fast forms agree with the exact rounding for every x.
template <int D>
constexpr bool CompressIsExact() {
  for (uint32_t x = 0; x < static_cast<uint32_t>(kQ); ++x) {
    const uint32_t exact = ((x << (D + 1)) + kQ) / (2 * kQ) % (1u << D);
    if (Compress<D>(static_cast<uint16_t>(x)) != exact) return false;
  }
  return true;
}
static_assert(CompressIsExact<1>() && CompressIsExact<kDv>() && CompressIsExact<kDu>());

template <int D>
constexpr int16_t Decompress(uint32_t y) {
  return static_cast<int16_t>((y * static_cast<uint32_t>(kQ) + (1u << (D - 1))) >> D);
}

// ---- polynomials ----

void Ntt(Poly& r) {
  int k = 1;
  for (int len = 128; len >= 2; len >>= 1) {
    for (int start = 0; start < kN; start += 2 * len) {
      const int16_t zeta = kZetas[k++];
      for (int j = start; j < start + len; ++j) {
        const int16_t t = FqMul(zeta, r[j + len]);
        r[j + len] = static_cast<int16_t>(r[j] - t);
        r[j] = static_cast<int16_t>(r[j] + t);
      }
    }
  }
  for (int16_t& c : r) c = BarrettReduce(c);
}

// The inverse transform, which also multiplies by 2^16 (undoing the 2^-16
// of a Montgomery product taken in the NTT domain).
void InverseNtt(Poly& r) {
  constexpr int16_t kF = 1441;  // 2^32 / 128 mod q
  int k = 127;
  for (int len = 2; len <= 128; len <<= 1) {
    for (int start = 0; start < kN; start += 2 * len) {
      const int16_t zeta = kZetas[k--];
      for (int j = start; j < start + len; ++j) {
        const int16_t t = r[j];
        r[j] = BarrettReduce(static_cast<int16_t>(t + r[j + len]));
        r[j + len] = FqMul(zeta, static_cast<int16_t>(r[j + len] - t));
      }
    }
  }
  for (int16_t& c : r) c = FqMul(c, kF);
}

void Add(Poly& r, const Poly& a) {
  for (int i = 0; i < kN; ++i) r[i] = static_cast<int16_t>(r[i] + a[i]);
}

void Reduce(Poly& r) {
  for (int16_t& c : r) c = BarrettReduce(c);
}

// The zeta of each pair of coefficients in the NTT domain: products of
// degree-one polynomials are taken modulo X^2 - zeta_i, where zeta_i =
// +-zeta^(2 bitrev7(i/2) + 1).
constexpr std::array<int16_t, kN / 2> MakePairZetas() {
  std::array<int16_t, kN / 2> z {};
  for (int i = 0; i < kN / 2; ++i) z[i] = static_cast<int16_t>((i & 1) != 0 ? -kZetas[64 + i / 2] : kZetas[64 + i / 2]);
  return z;
}
constexpr std::array<int16_t, kN / 2> kPairZetas = MakePairZetas();

// The inner product of two vectors in the NTT domain (times 2^-16),
// reduced. Each pair's product is below 2q in size, so three of them add
// up without overflow.
Poly InnerProduct(const Vector& a, const Vector& b) {
  Poly r {};
  for (int v = 0; v < kK; ++v) {
    const Poly& x = a[v];
    const Poly& y = b[v];
    for (int i = 0; i < kN / 2; ++i) {
      const int16_t x0 = x[2 * i], x1 = x[2 * i + 1], y0 = y[2 * i], y1 = y[2 * i + 1];
      r[2 * i] = static_cast<int16_t>(r[2 * i] + FqMul(FqMul(x1, y1), kPairZetas[i]) + FqMul(x0, y0));
      r[2 * i + 1] = static_cast<int16_t>(r[2 * i + 1] + FqMul(x0, y1) + FqMul(x1, y0));
    }
  }
  Reduce(r);
  return r;
}

// ---- encodings ----

void Encode12(const Poly& p, uint8_t* out) {
  for (int i = 0; i < kN / 2; ++i) {
    const uint16_t a = Canonical(p[2 * i]), b = Canonical(p[2 * i + 1]);
    out[3 * i] = static_cast<uint8_t>(a);
    out[3 * i + 1] = static_cast<uint8_t>(a >> 8 | b << 4);
    out[3 * i + 2] = static_cast<uint8_t>(b >> 4);
  }
}

// Decodes 12-bit values; returns a mask of all their bits ORed with 0x8000
// for each value >= q, so the caller can check a public key.
uint16_t Decode12(const uint8_t* in, Poly& p) {
  uint16_t too_big = 0;
  for (int i = 0; i < kN / 2; ++i) {
    const auto a = static_cast<uint16_t>((in[3 * i] | in[3 * i + 1] << 8) & 0xFFF);
    const auto b = static_cast<uint16_t>((in[3 * i + 1] >> 4 | in[3 * i + 2] << 4) & 0xFFF);
    too_big |= static_cast<uint16_t>((static_cast<uint32_t>(kQ - 1) - a) | (static_cast<uint32_t>(kQ - 1) - b));
    p[2 * i] = static_cast<int16_t>(a);
    p[2 * i + 1] = static_cast<int16_t>(b);
  }
  return too_big & 0x8000;
}

void EncodeU(const Vector& u, uint8_t* out) {
  for (const Poly& p : u) {
    for (int i = 0; i < kN / 4; ++i) {
      uint32_t t[4];
      for (int j = 0; j < 4; ++j) t[j] = Compress<kDu>(Canonical(p[4 * i + j]));
      out[0] = static_cast<uint8_t>(t[0]);
      out[1] = static_cast<uint8_t>(t[0] >> 8 | t[1] << 2);
      out[2] = static_cast<uint8_t>(t[1] >> 6 | t[2] << 4);
      out[3] = static_cast<uint8_t>(t[2] >> 4 | t[3] << 6);
      out[4] = static_cast<uint8_t>(t[3] >> 2);
      out += 5;
    }
  }
}

void DecodeU(const uint8_t* in, Vector& u) {
  for (Poly& p : u) {
    for (int i = 0; i < kN / 4; ++i) {
      const uint32_t t[4] = {
          (in[0] | static_cast<uint32_t>(in[1]) << 8) & 0x3FF,
          (in[1] >> 2 | static_cast<uint32_t>(in[2]) << 6) & 0x3FF,
          (in[2] >> 4 | static_cast<uint32_t>(in[3]) << 4) & 0x3FF,
          (in[3] >> 6 | static_cast<uint32_t>(in[4]) << 2) & 0x3FF,
      };
      for (int j = 0; j < 4; ++j) p[4 * i + j] = Decompress<kDu>(t[j]);
      in += 5;
    }
  }
}

void EncodeV(const Poly& v, uint8_t* out) {
  for (int i = 0; i < kN / 2; ++i) {
    out[i] = static_cast<uint8_t>(Compress<kDv>(Canonical(v[2 * i])) | Compress<kDv>(Canonical(v[2 * i + 1])) << 4);
  }
}

void DecodeV(const uint8_t* in, Poly& v) {
  for (int i = 0; i < kN / 2; ++i) {
    v[2 * i] = Decompress<kDv>(in[i] & 15u);
    v[2 * i + 1] = Decompress<kDv>(in[i] >> 4u);
  }
}

// Decompress_1 of the message bits: 0 or round(q/2), chosen by a mask.
void MessageToPoly(const uint8_t m[32], Poly& p) {
  for (int i = 0; i < 32; ++i) {
    for (int j = 0; j < 8; ++j) {
      const auto mask = static_cast<int16_t>(-static_cast<int16_t>((m[i] >> j) & 1));
      p[8 * i + j] = static_cast<int16_t>(mask & ((kQ + 1) / 2));
    }
  }
}

void PolyToMessage(const Poly& p, uint8_t m[32]) {
  for (int i = 0; i < 32; ++i) {
    uint8_t byte = 0;
    for (int j = 0; j < 8; ++j) byte = static_cast<uint8_t>(byte | Compress<1>(Canonical(p[8 * i + j])) << j);
    m[i] = byte;
  }
}

// ---- sampling ----

// SampleNTT: the matrix entry of XOF(rho || x || y) by rejection. Only the
// public seed rho decides how many bytes are used. OpenSSL 3.0 squeezes a
// SHAKE128 output only once, so a longer output is asked for from the
// start in the rare case three blocks hold too few values below q.
bool SampleNtt(const uint8_t rho[32], uint8_t x, uint8_t y, Poly& out) {
  const uint8_t index[2] = {x, y};
  std::array<uint8_t, 168 * 8> buffer;
  for (std::size_t len = 168 * 3; len <= buffer.size(); len *= 2) {
    if (!detail::Shake128({std::span(rho, 32), std::span(index)}, std::span(buffer).first(len))) return false;
    int n = 0;
    for (std::size_t pos = 0; n < kN && pos + 3 <= len; pos += 3) {
      const uint16_t d1 = static_cast<uint16_t>(buffer[pos] | (buffer[pos + 1] & 0x0F) << 8);
      const uint16_t d2 = static_cast<uint16_t>(buffer[pos + 1] >> 4 | buffer[pos + 2] << 4);
      if (d1 < kQ) out[n++] = static_cast<int16_t>(d1);
      if (d2 < kQ && n < kN) out[n++] = static_cast<int16_t>(d2);
    }
    if (n == kN) return true;
  }
  return false;  // eight blocks without 256 values: never happens for SHAKE128 output
}

bool SampleMatrix(const uint8_t rho[32], Matrix& a) {
  for (int i = 0; i < kK; ++i) {
    for (int j = 0; j < kK; ++j) {
      if (!SampleNtt(rho, static_cast<uint8_t>(j), static_cast<uint8_t>(i), a[i][j])) return false;
    }
  }
  return true;
}

// SamplePolyCBD_2(PRF_2(seed, nonce)): each coefficient is the difference
// of two sums of two bits.
bool SampleNoise(const uint8_t seed[32], uint8_t nonce, Poly& p) {
  uint8_t bytes[kNoiseBytes];
  if (!detail::Shake256({std::span(seed, 32), std::span(&nonce, 1)}, bytes)) return false;
  for (int i = 0; i < kN / 8; ++i) {
    const uint32_t t = static_cast<uint32_t>(bytes[4 * i]) | static_cast<uint32_t>(bytes[4 * i + 1]) << 8 |
                       static_cast<uint32_t>(bytes[4 * i + 2]) << 16 | static_cast<uint32_t>(bytes[4 * i + 3]) << 24;
    const uint32_t d = (t & 0x55555555) + ((t >> 1) & 0x55555555);
    for (int j = 0; j < 8; ++j) {
      const auto a = static_cast<int16_t>((d >> (4 * j)) & 3);
      const auto b = static_cast<int16_t>((d >> (4 * j + 2)) & 3);
      p[8 * i + j] = static_cast<int16_t>(a - b);
    }
  }
  Wipe(bytes, sizeof bytes);
  return true;
}

// ---- K-PKE ----

// K-PKE.Encrypt(ek, m, r) with t^ and the matrix already decoded.
bool Encrypt(const Vector& t_hat, const Matrix& a, const uint8_t m[32], const uint8_t r_seed[32], uint8_t* out) {
  struct Secrets {
    Vector r, e1, u;
    Poly e2, v, mu;
    ~Secrets() { Wipe(this, sizeof *this); }
  } s;
  uint8_t nonce = 0;
  for (Poly& p : s.r) {
    if (!SampleNoise(r_seed, nonce++, p)) return false;
  }
  for (Poly& p : s.e1) {
    if (!SampleNoise(r_seed, nonce++, p)) return false;
  }
  if (!SampleNoise(r_seed, nonce, s.e2)) return false;
  for (Poly& p : s.r) Ntt(p);
  for (int i = 0; i < kK; ++i) {
    // Row i of the transposed matrix is column i of A.
    Vector column;
    for (int j = 0; j < kK; ++j) column[j] = a[j][i];
    s.u[i] = InnerProduct(column, s.r);
    InverseNtt(s.u[i]);
    Add(s.u[i], s.e1[i]);
    Reduce(s.u[i]);
  }
  s.v = InnerProduct(t_hat, s.r);
  InverseNtt(s.v);
  MessageToPoly(m, s.mu);
  Add(s.v, s.e2);
  Add(s.v, s.mu);
  Reduce(s.v);
  EncodeU(s.u, out);
  EncodeV(s.v, out + kUBytes);
  return true;
}

// The public half of a key, decoded: t^ and the matrix of rho.
struct PublicKey {
  Vector t_hat;
  Matrix a;
};

// Decodes an encapsulation key; kInvalidKey when a coefficient is >= q.
KemStatus DecodePublicKey(std::span<const uint8_t, kMlKemEncapsulationKeySize> ek, PublicKey& key) {
  uint16_t too_big = 0;
  for (int i = 0; i < kK; ++i) too_big |= Decode12(ek.data() + i * kPolyBytes, key.t_hat[i]);
  if (too_big != 0) return KemStatus::kInvalidKey;
  return SampleMatrix(ek.data() + kVectorBytes, key.a) ? KemStatus::kOk : KemStatus::kFailed;
}

// Sets `mask` to all ones when the two byte strings differ, else zero,
// reading every byte.
uint8_t DifferMask(const uint8_t* a, const uint8_t* b, std::size_t n) {
  uint32_t diff = 0;
  for (std::size_t i = 0; i < n; ++i) diff |= static_cast<uint32_t>(a[i] ^ b[i]);
  // Keeps the compiler from turning the selection below into a branch.
  __asm__("" : "+r"(diff));
  return static_cast<uint8_t>(0u - ((diff + 0xFF) >> 8));
}

}  // namespace

struct MlKem768PrivateKey::State {
  PublicKey pub;
  Vector s_hat;
  std::array<uint8_t, kMlKemEncapsulationKeySize> ek;
  std::array<uint8_t, 32> h;  // H(ek)
  std::array<uint8_t, 32> z;  // the implicit-rejection value
  ~State() { Wipe(this, sizeof *this); }
};

const char* MlKemImplementation() { return "own"; }

MlKem768PrivateKey::MlKem768PrivateKey(std::unique_ptr<State> state) : state_(std::move(state)) {}
MlKem768PrivateKey::~MlKem768PrivateKey() = default;

std::span<const uint8_t, kMlKemEncapsulationKeySize> MlKem768PrivateKey::EncapsulationKey() const {
  return state_->ek;
}

std::unique_ptr<MlKem768PrivateKey> MlKem768PrivateKey::FromSeed(std::span<const uint8_t, kMlKemSeedSize> seed) {
  auto state = std::make_unique<State>();
  // (rho, sigma) = G(d || k)
  struct Secrets {
    uint8_t rho_sigma[64];
    Vector e;
    ~Secrets() { Wipe(this, sizeof *this); }
  } s;
  const uint8_t k = kK;
  if (!detail::Sha3_512({seed.first(32), std::span(&k, 1)}, s.rho_sigma)) return nullptr;
  const uint8_t* rho = s.rho_sigma;
  const uint8_t* sigma = s.rho_sigma + 32;
  VESK_PUBLIC(rho, 32);
  if (!SampleMatrix(rho, state->pub.a)) return nullptr;
  uint8_t nonce = 0;
  for (Poly& p : state->s_hat) {
    if (!SampleNoise(sigma, nonce++, p)) return nullptr;
  }
  for (Poly& p : s.e) {
    if (!SampleNoise(sigma, nonce++, p)) return nullptr;
  }
  for (Poly& p : state->s_hat) Ntt(p);
  for (Poly& p : s.e) Ntt(p);
  for (int i = 0; i < kK; ++i) {
    Poly t = InnerProduct(state->pub.a[i], state->s_hat);
    // The product carries a factor 2^-16; multiplying by 2^32 mod q in
    // Montgomery form leaves the plain value.
    for (int16_t& c : t) c = FqMul(c, 1353);
    Add(t, s.e[i]);
    Reduce(t);
    state->pub.t_hat[i] = t;
    Encode12(t, state->ek.data() + i * kPolyBytes);
  }
  std::memcpy(state->ek.data() + kVectorBytes, rho, 32);
  if (!detail::Sha3_256({state->ek}, state->h)) return nullptr;
  std::memcpy(state->z.data(), seed.data() + 32, 32);
  return std::unique_ptr<MlKem768PrivateKey>(new MlKem768PrivateKey(std::move(state)));
}

bool MlKem768PrivateKey::Decapsulate(std::span<const uint8_t, kMlKemCiphertextSize> ciphertext,
                                     std::span<uint8_t, kMlKemSharedSecretSize> shared) const {
  struct Secrets {
    Vector u;
    Poly v, w;
    uint8_t m[32];
    uint8_t k_r[64];
    uint8_t rejected[32];
    uint8_t again[kMlKemCiphertextSize];
    ~Secrets() { Wipe(this, sizeof *this); }
  } s;
  const State& key = *state_;
  // m' = K-PKE.Decrypt(dk, c)
  DecodeU(ciphertext.data(), s.u);
  DecodeV(ciphertext.data() + kUBytes, s.v);
  for (Poly& p : s.u) Ntt(p);
  s.w = InnerProduct(key.s_hat, s.u);
  InverseNtt(s.w);
  for (int i = 0; i < kN; ++i) s.w[i] = static_cast<int16_t>(s.v[i] - s.w[i]);
  Reduce(s.w);
  PolyToMessage(s.w, s.m);
  // (K', r') = G(m' || h); K-bar = J(z || c); c' = K-PKE.Encrypt(ek, m', r')
  bool ok = detail::Sha3_512({std::span(s.m), std::span(key.h)}, s.k_r) &&
            detail::Shake256({std::span(key.z), ciphertext}, s.rejected) &&
            Encrypt(key.pub.t_hat, key.pub.a, s.m, s.k_r + 32, s.again);
  if (!ok) {
    Wipe(shared.data(), shared.size());
    return false;
  }
  // K' when c' == c, K-bar otherwise, chosen by a mask.
  const uint8_t differ = DifferMask(ciphertext.data(), s.again, kMlKemCiphertextSize);
  for (std::size_t i = 0; i < kMlKemSharedSecretSize; ++i) {
    shared[i] = static_cast<uint8_t>(s.k_r[i] ^ ((s.k_r[i] ^ s.rejected[i]) & differ));
  }
  return true;
}

bool MlKem768CheckEncapsulationKey(std::span<const uint8_t, kMlKemEncapsulationKeySize> key) {
  Poly p;
  uint16_t too_big = 0;
  for (int i = 0; i < kK; ++i) too_big |= Decode12(key.data() + i * kPolyBytes, p);
  return too_big == 0;
}

KemStatus MlKem768Encapsulate(std::span<const uint8_t, kMlKemEncapsulationKeySize> key,
                              std::span<const uint8_t, kMlKemMessageSize> message,
                              std::span<uint8_t, kMlKemCiphertextSize> ciphertext,
                              std::span<uint8_t, kMlKemSharedSecretSize> shared) {
  auto pub = std::make_unique<PublicKey>();
  if (const KemStatus st = DecodePublicKey(key, *pub); st != KemStatus::kOk) return st;
  uint8_t h[32];
  uint8_t k_r[64];
  // (K, r) = G(m || H(ek))
  bool ok = detail::Sha3_256({key}, h) && detail::Sha3_512({message, std::span(h)}, k_r) &&
            Encrypt(pub->t_hat, pub->a, message.data(), k_r + 32, ciphertext.data());
  if (ok) std::memcpy(shared.data(), k_r, kMlKemSharedSecretSize);
  Wipe(k_r, sizeof k_r);
  if (!ok) {
    Wipe(shared.data(), shared.size());
    Wipe(ciphertext.data(), ciphertext.size());
    return KemStatus::kFailed;
  }
  return KemStatus::kOk;
}

}  // namespace vesk::pq
