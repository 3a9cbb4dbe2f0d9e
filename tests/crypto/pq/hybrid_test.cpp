// MLKEM768-X25519: the published known answers (key expansion, the
// encapsulation with fixed randomness, the combiner), and the X25519
// shares and keys of small order that are refused.
#include <gtest/gtest.h>

#include <array>

#include "crypto/pq/mlkem768x25519.h"
#include "pq_test_util.h"

namespace vesk::pq {
namespace {

using testing::Hex;
using testing::Unhex;

template <std::size_t N>
std::array<uint8_t, N> Array(const std::string& hex) {
  const std::vector<uint8_t> bytes = Unhex(hex);
  std::array<uint8_t, N> out {};
  EXPECT_EQ(bytes.size(), N);
  std::copy_n(bytes.begin(), std::min(N, bytes.size()), out.begin());
  return out;
}

template <typename Bytes>
std::string Head(const Bytes& b, std::size_t hex_chars) { return Hex(b).substr(0, hex_chars); }
template <typename Bytes>
std::string Tail(const Bytes& b, std::size_t hex_chars) { const std::string h = Hex(b); return h.substr(h.size() - hex_chars); }

TEST(MlKem768X25519, KnownAnswers) {
  const auto vectors = testing::ReadVectors("mlkem768x25519_vectors.txt");
  ASSERT_EQ(vectors.size(), 3u);
  for (const auto& v : vectors) {
    SCOPED_TRACE("seed " + v.at("seed"));
    const auto key = MlKem768X25519PrivateKey::FromSeed(Array<kHybridSeedSize>(v.at("seed")));
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(Head(key->PublicKey(), v.at("pk_head").size()), v.at("pk_head"));
    EXPECT_EQ(Tail(key->PublicKey(), v.at("pk_tail").size()), v.at("pk_tail"));
    std::array<uint8_t, kHybridCiphertextSize> ct;
    std::array<uint8_t, kHybridSharedSecretSize> ss, opened;
    ASSERT_EQ(MlKem768X25519Encapsulate(key->PublicKey(), Array<kHybridRandomSize>(v.at("random")), ct, ss),
              KemStatus::kOk);
    EXPECT_EQ(Head(ct, v.at("ct_head").size()), v.at("ct_head"));
    EXPECT_EQ(Tail(ct, v.at("ct_tail").size()), v.at("ct_tail"));
    EXPECT_EQ(Hex(ss), v.at("ss"));
    ASSERT_EQ(key->Decapsulate(ct, opened), KemStatus::kOk);
    EXPECT_EQ(Hex(opened), v.at("ss"));
    // An altered ciphertext opens, to another secret, in either half.
    for (const std::size_t at : {std::size_t {0}, kHybridCiphertextSize - 1}) {
      auto altered = ct;
      altered[at] ^= 0x80;
      ASSERT_EQ(key->Decapsulate(altered, opened), KemStatus::kOk);
      EXPECT_NE(Hex(opened), v.at("ss"));
    }
  }
}

// X25519 points of small order make an all-zero X25519 secret: refused as
// a recipient's key half and as a ciphertext's share.
TEST(MlKem768X25519, SmallOrderPointsRefused) {
  const auto key = MlKem768X25519PrivateKey::FromSeed(std::array<uint8_t, kHybridSeedSize> {7});
  ASSERT_NE(key, nullptr);
  const std::array<uint8_t, kHybridRandomSize> random {1, 2, 3};
  std::array<uint8_t, kHybridCiphertextSize> ct;
  std::array<uint8_t, kHybridSharedSecretSize> ss;
  ASSERT_EQ(MlKem768X25519Encapsulate(key->PublicKey(), random, ct, ss), KemStatus::kOk);
  EXPECT_TRUE(MlKem768X25519CheckPublicKey(key->PublicKey()));
  for (const char* point : {"0000000000000000000000000000000000000000000000000000000000000000",
                            "0100000000000000000000000000000000000000000000000000000000000000",
                            "e0eb7a7c3b41b8ae1656e3faf19fc46ada098deb9c32b1fd866205165f49b800",
                            "ecffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f"}) {
    SCOPED_TRACE(point);
    const auto bytes = Unhex(point);
    std::array<uint8_t, kHybridPublicKeySize> pk;
    std::copy(key->PublicKey().begin(), key->PublicKey().end(), pk.begin());
    std::copy(bytes.begin(), bytes.end(), pk.end() - 32);
    EXPECT_FALSE(MlKem768X25519CheckPublicKey(pk));
    std::array<uint8_t, kHybridCiphertextSize> out;
    EXPECT_EQ(MlKem768X25519Encapsulate(pk, random, out, ss), KemStatus::kInvalidKey);
    auto bad = ct;
    std::copy(bytes.begin(), bytes.end(), bad.end() - 32);
    EXPECT_EQ(key->Decapsulate(bad, ss), KemStatus::kInvalidKey);
  }
}

}  // namespace
}  // namespace vesk::pq
