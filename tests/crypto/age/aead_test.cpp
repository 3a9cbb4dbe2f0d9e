// ChaCha20-Poly1305 as age uses it (no associated data), through the one
// reused libcrypto context: the ciphertext of RFC 8439 section 2.8.2, and
// tags from a separate plain implementation of RFC 8439 that reproduces
// that section's tag when given its associated data.
#include "crypto/age/aead.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vesk::age {
namespace {

std::vector<uint8_t> FromHex(std::string_view hex) {
  std::vector<uint8_t> out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  return out;
}

std::vector<uint8_t> Range(int from, int to) {
  std::vector<uint8_t> v;
  for (int i = from; i < to; ++i) v.push_back(static_cast<uint8_t>(i));
  return v;
}

const std::string kSunscreen =
    "Ladies and Gentlemen of the class of '99: If I could offer you only one tip for the future, sunscreen would be it.";
const char* const kSunscreenCipher =
    "d31a8d34648e60db7b86afbc53ef7ec2a4aded51296e08fea9e2b5a736ee62d63dbea45e8ca9671282fafb69da92728b1a71de0a9e060b29"
    "05d6a5b67ecd3b3692ddbd7f2d778b8c9803aee328091b58fab324e4fad675945585808b4831d7bc3ff4def08e4b7a9de576d26586cec64b"
    "6116";
const char* const kSunscreenTag = "6a23a4681fd59456aea1d29f82477216";

struct Vector {
  std::vector<uint8_t> key, nonce, plain, cipher, tag;
};

std::vector<Vector> Vectors() {
  return {
      {Range(0x80, 0xa0), FromHex("070000004041424344454647"), {kSunscreen.begin(), kSunscreen.end()},
       FromHex(kSunscreenCipher), FromHex(kSunscreenTag)},
      // An empty message: the tag alone (age's empty final chunk).
      {Range(0x00, 0x20), std::vector<uint8_t>(12, 0), {}, {}, FromHex("10324f800a160bd9a1794255be7ec29d")},
  };
}

TEST(ChaChaPoly, SealsAndOpensKnownVectorsWithOneReusedContext) {
  ChaChaPoly aead;
  ASSERT_TRUE(aead.ready());
  // Twice over, alternating directions and keys, so that a context that
  // kept anything from its previous message would show it.
  for (int round = 0; round < 2; ++round) {
    for (const Vector& v : Vectors()) {
      SCOPED_TRACE(v.plain.size());
      std::vector<uint8_t> cipher(v.plain.size()), tag(kAeadTagSize);
      ASSERT_TRUE(aead.Seal(v.key.data(), v.nonce.data(), v.plain.data(), v.plain.size(), cipher.data(), tag.data()));
      EXPECT_EQ(cipher, v.cipher);
      EXPECT_EQ(tag, v.tag);
      std::vector<uint8_t> plain(v.cipher.size(), 0xEE);
      ASSERT_EQ(aead.Open(v.key.data(), v.nonce.data(), v.cipher.data(), v.cipher.size(), v.tag.data(), plain.data()),
                ChaChaPoly::Opened::kOk);
      EXPECT_EQ(plain, v.plain);
      // In place, both ways.
      std::vector<uint8_t> buffer = v.plain;
      ASSERT_TRUE(aead.Seal(v.key.data(), v.nonce.data(), buffer.data(), buffer.size(), buffer.data(), tag.data()));
      EXPECT_EQ(buffer, v.cipher);
      ASSERT_EQ(aead.Open(v.key.data(), v.nonce.data(), buffer.data(), buffer.size(), tag.data(), buffer.data()),
                ChaChaPoly::Opened::kOk);
      EXPECT_EQ(buffer, v.plain);
    }
  }
}

TEST(ChaChaPoly, AnyChangedByteIsForgedAndLeavesNoPlaintext) {
  ChaChaPoly aead;
  ASSERT_TRUE(aead.ready());
  const Vector v = Vectors()[0];
  auto open = [&](std::vector<uint8_t> key, std::vector<uint8_t> nonce, std::vector<uint8_t> cipher,
                  std::vector<uint8_t> tag, std::vector<uint8_t>& plain) {
    plain.assign(cipher.size(), 0xEE);
    return aead.Open(key.data(), nonce.data(), cipher.data(), cipher.size(), tag.data(), plain.data());
  };
  std::vector<uint8_t> plain;
  for (std::size_t at : {std::size_t {0}, std::size_t {57}, v.cipher.size() - 1}) {
    std::vector<uint8_t> bad = v.cipher;
    bad[at] ^= 0x01;
    EXPECT_EQ(open(v.key, v.nonce, bad, v.tag, plain), ChaChaPoly::Opened::kForged) << at;
    EXPECT_EQ(plain, std::vector<uint8_t>(plain.size(), 0)) << "unauthenticated plaintext left at " << at;
  }
  for (std::size_t at : {0, 15}) {
    std::vector<uint8_t> bad = v.tag;
    bad[at] ^= 0x80;
    EXPECT_EQ(open(v.key, v.nonce, v.cipher, bad, plain), ChaChaPoly::Opened::kForged) << at;
  }
  std::vector<uint8_t> other_key = v.key, other_nonce = v.nonce;
  other_key[31] ^= 1;
  other_nonce[11] ^= 1;  // age's final-chunk flag
  EXPECT_EQ(open(other_key, v.nonce, v.cipher, v.tag, plain), ChaChaPoly::Opened::kForged);
  EXPECT_EQ(open(v.key, other_nonce, v.cipher, v.tag, plain), ChaChaPoly::Opened::kForged);
  // A forgery does not spoil the context for the genuine message.
  EXPECT_EQ(open(v.key, v.nonce, v.cipher, v.tag, plain), ChaChaPoly::Opened::kOk);
  EXPECT_EQ(plain, v.plain);
}

}  // namespace
}  // namespace vesk::age
