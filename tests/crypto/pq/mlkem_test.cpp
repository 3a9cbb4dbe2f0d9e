// ML-KEM-768 against an independent implementation (the Python
// cryptography package, on OpenSSL): the same seed gives the same
// encapsulation key, each side opens the other's ciphertexts, and both
// reject an altered ciphertext to the same pseudorandom secret.
#include <gtest/gtest.h>

#include <array>
#include <sstream>

#include "crypto/pq/mlkem768.h"
#include "pq_test_util.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace vesk::pq {
namespace {

using testing::Hex;
using testing::Unhex;

struct Ours {
  std::array<uint8_t, kMlKemSeedSize> seed;
  std::unique_ptr<MlKem768PrivateKey> key;
  std::array<uint8_t, kMlKemCiphertextSize> ct;
  std::array<uint8_t, kMlKemSharedSecretSize> ss;
};

std::array<uint8_t, kMlKemSharedSecretSize> Decaps(const MlKem768PrivateKey& key, const std::vector<uint8_t>& ct) {
  std::array<uint8_t, kMlKemSharedSecretSize> ss {};
  EXPECT_EQ(ct.size(), kMlKemCiphertextSize);
  EXPECT_TRUE(key.Decapsulate(std::span<const uint8_t, kMlKemCiphertextSize>(ct.data(), kMlKemCiphertextSize), ss));
  return ss;
}

TEST(MlKem768, AgreesWithPythonCryptography) {
  if (!testing::HavePythonMlKem()) GTEST_SKIP() << "python3 with the cryptography package's ML-KEM is not installed";
  // Seeds at the edges and ordinary ones.
  std::vector<std::string> seeds = {std::string(64, '\0'), std::string(64, '\xff')};
  for (uint32_t i = 0; i < 6; ++i) seeds.push_back(vesk::testing::RandomBytes(64, 1000 + i));
  // Where our ciphertexts are altered before the other side opens them.
  const std::vector<std::size_t> altered_bytes = {0, 959, 960, kMlKemCiphertextSize - 1};

  std::vector<Ours> ours;
  std::ostringstream requests;
  for (const std::string& seed : seeds) {
    Ours o;
    std::copy(seed.begin(), seed.end(), o.seed.begin());
    o.key = MlKem768PrivateKey::FromSeed(o.seed);
    ASSERT_NE(o.key, nullptr);
    std::array<uint8_t, kMlKemMessageSize> m {};
    const std::string random = vesk::testing::RandomBytes(m.size(), static_cast<uint32_t>(ours.size()));
    std::copy(random.begin(), random.end(), m.begin());
    ASSERT_EQ(MlKem768Encapsulate(o.key->EncapsulationKey(), m, o.ct, o.ss), KemStatus::kOk);
    requests << "keygen " << Hex(o.seed) << "\n"
             << "decaps " << Hex(o.seed) << " " << Hex(o.ct) << "\n"
             << "encaps " << Hex(o.key->EncapsulationKey()) << "\n";
    for (const std::size_t at : altered_bytes) {
      auto altered = o.ct;
      altered[at] ^= 0x01;
      requests << "decaps " << Hex(o.seed) << " " << Hex(altered) << "\n";
    }
    ours.push_back(std::move(o));
  }
  vesk::testing::TempDir dir;
  vesk::testing::WriteFile(dir.File("requests"), requests.str());
  const auto run = vesk::testing::RunProcess(
      {testing::FindProgram("python3"), testing::DataFile("mlkem_peer.py"), dir.File("requests"), dir.File("answers")});
  ASSERT_EQ(run.status, 0) << run.err;
  std::istringstream answers(vesk::testing::ReadFile(dir.File("answers")));

  for (const Ours& o : ours) {
    SCOPED_TRACE("seed " + Hex(o.seed));
    std::string ek, their_ss, their_ct, their_ss2;
    answers >> ek >> their_ss >> their_ct >> their_ss2;
    EXPECT_EQ(ek, Hex(o.key->EncapsulationKey()));
    EXPECT_EQ(their_ss, Hex(o.ss)) << "they open our ciphertext";
    EXPECT_EQ(Hex(Decaps(*o.key, Unhex(their_ct))), their_ss2) << "we open theirs";
    for (const std::size_t at : altered_bytes) {
      std::vector<uint8_t> altered(o.ct.begin(), o.ct.end());
      altered[at] ^= 0x01;
      std::string rejected;
      answers >> rejected;
      const std::string ours_rejected = Hex(Decaps(*o.key, altered));
      EXPECT_EQ(ours_rejected, rejected) << "the same implicit rejection, byte " << at;
      EXPECT_NE(ours_rejected, Hex(o.ss));
    }
  }
}

// An encapsulation key is refused when a 12-bit coefficient is q or more
// (it would not encode back to the same bytes), wherever it sits.
TEST(MlKem768, EncapsulationKeyCheck) {
  std::array<uint8_t, kMlKemSeedSize> seed {};
  const auto key = MlKem768PrivateKey::FromSeed(seed);
  ASSERT_NE(key, nullptr);
  struct Case {
    int coefficient;  // 0..767
    uint16_t value;
    bool valid;
  };
  const Case cases[] = {{0, 3328, true},   {0, 3329, false},  {1, 4095, false},
                        {255, 3329, false}, {767, 3329, false}, {767, 3328, true}};
  std::array<uint8_t, kMlKemMessageSize> m {};
  for (const Case& c : cases) {
    SCOPED_TRACE("coefficient " + std::to_string(c.coefficient) + " = " + std::to_string(c.value));
    std::array<uint8_t, kMlKemEncapsulationKeySize> ek;
    std::copy(key->EncapsulationKey().begin(), key->EncapsulationKey().end(), ek.begin());
    uint8_t* at = ek.data() + c.coefficient / 2 * 3;
    if (c.coefficient % 2 == 0) {
      at[0] = static_cast<uint8_t>(c.value);
      at[1] = static_cast<uint8_t>((at[1] & 0xF0) | c.value >> 8);
    } else {
      at[1] = static_cast<uint8_t>((at[1] & 0x0F) | (c.value & 15) << 4);
      at[2] = static_cast<uint8_t>(c.value >> 4);
    }
    EXPECT_EQ(MlKem768CheckEncapsulationKey(ek), c.valid);
    std::array<uint8_t, kMlKemCiphertextSize> ct;
    std::array<uint8_t, kMlKemSharedSecretSize> ss;
    EXPECT_EQ(MlKem768Encapsulate(ek, m, ct, ss), c.valid ? KemStatus::kOk : KemStatus::kInvalidKey);
  }
}

}  // namespace
}  // namespace vesk::pq
