// The strict encodings and the key derivation, against published vectors:
// RFC 4648 (base64), BIP 173 (Bech32), RFC 4231 (HMAC-SHA-256), RFC 5869
// (HKDF-SHA-256), RFC 7748
// (X25519) and the key pair printed in the age v1 format document.
#include "crypto/age/encoding.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "crypto/age/kdf.h"
#include "crypto/age/keys.h"

namespace vesk::age {
namespace {

std::vector<uint8_t> Bytes(std::string_view s) { return {s.begin(), s.end()}; }

std::vector<uint8_t> FromHex(std::string_view hex) {
  std::vector<uint8_t> out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  return out;
}

std::vector<uint8_t> Range(int from, int to) {
  std::vector<uint8_t> v;
  for (int i = from; i < to; ++i) v.push_back(static_cast<uint8_t>(i));
  return v;
}

TEST(Base64, Rfc4648VectorsBothWaysWithAndWithoutPadding) {
  const std::pair<const char*, const char*> cases[] = {{"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},
                                                       {"foo", "Zm9v"},  {"foob", "Zm9vYg=="},  {"fooba", "Zm9vYmE="},
                                                       {"foobar", "Zm9vYmFy"}};
  for (const auto& [plain, padded] : cases) {
    std::string raw = padded;
    while (!raw.empty() && raw.back() == '=') raw.pop_back();
    EXPECT_EQ(EncodeBase64Padded(Bytes(plain)), padded);
    EXPECT_EQ(EncodeBase64Raw(Bytes(plain)), raw);
    std::vector<uint8_t> out;
    ASSERT_TRUE(DecodeBase64Padded(padded, out)) << padded;
    EXPECT_EQ(out, Bytes(plain));
    ASSERT_TRUE(DecodeBase64Raw(raw, out)) << raw;
    EXPECT_EQ(out, Bytes(plain));
  }
}

TEST(Base64, RejectsEveryNonCanonicalForm) {
  std::vector<uint8_t> out;
  // Unpadded: padding, stray bits in the last character, impossible
  // lengths, other alphabets, whitespace.
  for (const char* bad : {"Zg==", "Zg=", "Zh", "Zm9=", "Zm9", "Z", "Zm9vY", "Zm-v", "Zm_v", "Zm9v\n", " Zm9v", "Zm 9v"}) {
    EXPECT_FALSE(DecodeBase64Raw(bad, out)) << bad;
  }
  EXPECT_TRUE(DecodeBase64Raw("Zm8", out));  // "fo": the low 2 bits of '8' are zero
  // Padded: missing or extra padding, stray bits, padding in the middle.
  for (const char* bad : {"Zg", "Zg=", "Zg===", "Zh==", "Zm9=", "Z===", "Zm9v====", "=Zg=", "Zg==Zg==", "Zm8=\n"}) {
    EXPECT_FALSE(DecodeBase64Padded(bad, out)) << bad;
  }
}

TEST(Bech32, Bip173ValidStringsDecodeAndReencode) {
  for (const char* s : {"A12UEL5L", "a12uel5l",
                        "an83characterlonghumanreadablepartthatcontainsthenumber1andtheexcludedcharactersbio1tt5tgs",
                        "abcdef1qpzry9x8gf2tvdw0s3jn54khce6mua7lmqqqxw",
                        "split1checkupstagehandshakeupstreamerranterredcaperred2y9e3w", "?1ezyfcl"}) {
    std::string hrp;
    std::vector<uint8_t> data;
    ASSERT_TRUE(Bech32Decode(s, hrp, data)) << s;
    std::string lower = s;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(Bech32Encode(hrp, data), lower);
  }
}

TEST(Bech32, Bip173InvalidStringsAndMixedCaseAreRejected) {
  for (const char* s : {" 1nwldj5", "\x7f" "1axkwrx", "\x80" "1eym55h", "pzry9x0s0muk", "1pzry9x0s0muk", "x1b4n0q5v",
                        "li1dgmt3", "de1lg7wt\xff", "A1G7SGD8", "10a06t8", "1qzzfhee", "A12uEL5L"}) {
    std::string hrp;
    std::vector<uint8_t> data;
    EXPECT_FALSE(Bech32Decode(s, hrp, data)) << s;
  }
}

TEST(Bech32, AgeKeysLongerThan90CharactersAreFine) {
  // age keys are far below the limit, but the format has none: a 100-byte
  // payload gives a 175-character string that must round-trip.
  const std::vector<uint8_t> data = Range(0, 100);
  const std::string s = Bech32Encode("age", data);
  ASSERT_GT(s.size(), 90u);
  std::string hrp;
  std::vector<uint8_t> back;
  ASSERT_TRUE(Bech32Decode(s, hrp, back));
  EXPECT_EQ(back, data);
}

TEST(Hmac, Rfc4231Sha256TestCasesAndEmptyInputs) {
  uint8_t out[32];
  ASSERT_TRUE(HmacSha256(std::vector<uint8_t>(20, 0x0b), Bytes("Hi There"), out));
  EXPECT_EQ(std::vector<uint8_t>(out, out + 32),
            FromHex("b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7"));
  ASSERT_TRUE(HmacSha256(Bytes("Jefe"), Bytes("what do ya want for nothing?"), out));
  EXPECT_EQ(std::vector<uint8_t>(out, out + 32),
            FromHex("5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"));
  // Test case 6: a key longer than SHA-256's block is hashed first.
  ASSERT_TRUE(HmacSha256(std::vector<uint8_t>(131, 0xaa), Bytes("Test Using Larger Than Block-Size Key - Hash Key First"),
                         out));
  EXPECT_EQ(std::vector<uint8_t>(out, out + 32),
            FromHex("60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54"));
  // An empty key and message are valid (HMAC pads the key with zeros).
  ASSERT_TRUE(HmacSha256({}, {}, out));
  EXPECT_EQ(std::vector<uint8_t>(out, out + 32),
            FromHex("b613679a0814d9ec772f95d778c35fc5ff1697c493715653c6c712144292c5ad"));
}

TEST(Hkdf, Rfc5869Sha256TestCases) {
  std::vector<uint8_t> out(42);
  // Test case 1.
  const std::vector<uint8_t> info1 = Range(0xf0, 0xfa);
  EXPECT_TRUE(HkdfSha256(std::vector<uint8_t>(22, 0x0b), Range(0x00, 0x0d),
                         {reinterpret_cast<const char*>(info1.data()), info1.size()}, out));
  EXPECT_EQ(out, FromHex("3cb25f25faacd57a90434f64d0362f2a2d2d0a90cf1a5a4c5db02d56ecc4c5bf34007208d5b887185865"));
  // Test case 2: long inputs, 82 bytes out.
  const std::vector<uint8_t> info2 = Range(0xb0, 0x100);
  std::vector<uint8_t> out2(82);
  EXPECT_TRUE(HkdfSha256(Range(0x00, 0x50), Range(0x60, 0xb0),
                         {reinterpret_cast<const char*>(info2.data()), info2.size()}, out2));
  EXPECT_EQ(out2, FromHex("b11e398dc80327a1c8e7f78c596a49344f012eda2d4efad8a050cc4c19afa97c59045a99cac7827271cb41c65e590e0"
                          "9da3275600c2f09b8367793a9aca3db71cc30c58179ec3e87c14c01d5c1f3434f1d87"));
  // Test case 3: empty salt and info.
  EXPECT_TRUE(HkdfSha256(std::vector<uint8_t>(22, 0x0b), {}, "", out));
  EXPECT_EQ(out, FromHex("8da4e775a563c18f715f802a063c5a31b8a11f5c5ee1879ec3454e5f3c738d2d9d201395faa4b61a96c8"));
  // A salt of 32 zero bytes is the same as none.
  std::vector<uint8_t> zero_salt(42);
  EXPECT_TRUE(HkdfSha256(std::vector<uint8_t>(22, 0x0b), std::vector<uint8_t>(32, 0), "", zero_salt));
  EXPECT_EQ(zero_salt, out);
}

TEST(Hkdf, OutputLengthLimits) {
  // RFC 5869 allows 255 blocks of output and not one byte more; asking for
  // more fails instead of handing back a key that is partly unset.
  std::vector<uint8_t> most(255 * 32), too_much(255 * 32 + 1, 0x77);
  EXPECT_TRUE(HkdfSha256(std::vector<uint8_t>(16, 1), {}, "x", most));
  EXPECT_FALSE(HkdfSha256(std::vector<uint8_t>(16, 1), {}, "x", too_much));
  // The first block is the same whatever the length asked for.
  std::vector<uint8_t> first(32);
  EXPECT_TRUE(HkdfSha256(std::vector<uint8_t>(16, 1), {}, "x", first));
  EXPECT_TRUE(std::equal(first.begin(), first.end(), most.begin()));
  std::vector<uint8_t> none;
  EXPECT_TRUE(HkdfSha256(std::vector<uint8_t>(16, 1), {}, "x", none));
}

TEST(X25519Keys, Rfc7748PublicKeysFromPrivateKeys) {
  const auto alice = FromHex("77076d0a7318a57d3c16c17251b26645df4c2f87ebc0992ab177fba51db92c2a");
  const auto bob = FromHex("5dab087e624a8a4b79e17f8b83800ee66f3bb1292618b6fd1c2f8b27ff88e0eb");
  const auto a = X25519Identity::FromSecret(SecretBytes(alice.data(), alice.size())).ToRecipient().public_key();
  const auto b = X25519Identity::FromSecret(SecretBytes(bob.data(), bob.size())).ToRecipient().public_key();
  EXPECT_EQ(std::vector<uint8_t>(a.begin(), a.end()),
            FromHex("8520f0098930a754748b7ddcb43ef75a0dbf3a0d26381af4eba4a98eaa9b4e6a"));
  EXPECT_EQ(std::vector<uint8_t>(b.begin(), b.end()),
            FromHex("de9edb7d7b7dc1b4d35b61c2ece435373f8343c85b78674dadfc7e146f882b4f"));
}

TEST(X25519Keys, TheFormatDocumentsKeyPairAndAgesCaseRules) {
  const std::string secret = "AGE-SECRET-KEY-1GFPYYSJZGFPYYSJZGFPYYSJZGFPYYSJZGFPYYSJZGFPYYSJZGFPQ4EGAEX";
  const std::string pub = "age1zvkyg2lqzraa2lnjvqej32nkuu0ues2s82hzrye869xeexvn73equnujwj";
  const auto id = X25519Identity::Parse(secret);
  ASSERT_TRUE(id.has_value());
  EXPECT_EQ(id->ToRecipient().Encode(), pub);
  EXPECT_EQ(id->Encode().view(), secret);
  ASSERT_TRUE(X25519Recipient::Parse(pub).has_value());

  std::string lower_secret = secret, upper_pub = pub;
  for (char& c : lower_secret) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (char& c : upper_pub) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_FALSE(X25519Identity::Parse(lower_secret).has_value());  // identities are uppercase
  EXPECT_FALSE(X25519Recipient::Parse(upper_pub).has_value());    // recipients are lowercase
  EXPECT_FALSE(X25519Recipient::Parse(secret).has_value());       // wrong kind of key
  EXPECT_FALSE(X25519Identity::Parse(pub).has_value());
  std::string flipped = pub;
  flipped[10] = flipped[10] == 'q' ? 'p' : 'q';
  EXPECT_FALSE(X25519Recipient::Parse(flipped).has_value());
  // 31 and 33 bytes under the right prefix are not keys.
  EXPECT_FALSE(X25519Recipient::Parse(Bech32Encode("age", Range(0, 31))).has_value());
  EXPECT_FALSE(X25519Recipient::Parse(Bech32Encode("age", Range(0, 33))).has_value());
}

}  // namespace
}  // namespace vesk::age
