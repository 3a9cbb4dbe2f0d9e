// The post-quantum hybrid recipient type through the age library: its key
// encodings (with a known identity and its recipient), whole files, the
// refused mix with classic recipients, key files, and every check a reader
// must make of an mlkem768x25519 stanza, on crafted headers: each is an
// error that writes nothing.
#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "age_test_util.h"
#include "crypto/age/age.h"
#include "crypto/age/encoding.h"
#include "crypto/age/hybrid_keys.h"
#include "support/temp_dir.h"

namespace vesk::age {
namespace {

using testing::CraftFile;
using testing::FixedFileKey;

std::map<std::string, std::string> KnownKeys() {
  std::ifstream in(std::string(VESK_AGE_TEST_DIR) + "/hybrid_keys.txt");
  std::map<std::string, std::string> keys;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line[0] != '#') keys[line.substr(0, line.find(' '))] = line.substr(line.find(' ') + 1);
  }
  return keys;
}

std::string EncryptTo(const std::vector<const Recipient*>& to, const std::string& plain, bool armor = false,
                      Result* result = nullptr) {
  MemorySource in(plain);
  StringSink out;
  std::atomic<bool> stop {false};
  EncryptOptions options;
  options.armor = armor;
  const Result r = Encrypt(to, in, out, options, stop);
  if (result != nullptr) *result = r;
  else EXPECT_TRUE(r.ok()) << r.detail;
  return out.out;
}

Result DecryptWith(const std::vector<const Identity*>& ids, const std::string& file, std::string* plain = nullptr) {
  MemorySource in(file);
  StringSink out;
  std::atomic<bool> stop {false};
  Result r = Decrypt(ids, in, out, {}, stop);
  if (plain != nullptr) *plain = out.out;
  return r;
}

// The Bech32 text of `data` under `hrp`, upper-cased when asked.
std::string Bech32(std::string_view hrp, std::span<const uint8_t> data, bool upper = false) {
  std::string s = Bech32Encode(hrp, data);
  if (upper) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return s;
}

TEST(AgeHybridKeys, KnownIdentityAndRecipient) {
  const auto keys = KnownKeys();
  ASSERT_EQ(keys.size(), 2u);
  const auto id = HybridIdentity::Parse(keys.at("identity"));
  ASSERT_TRUE(id.has_value());
  EXPECT_EQ(id->Encode().view(), keys.at("identity"));
  EXPECT_EQ(id->ToRecipient().Encode(), keys.at("recipient"));
  const auto recipient = HybridRecipient::Parse(keys.at("recipient"));
  ASSERT_TRUE(recipient.has_value());
  EXPECT_TRUE(*recipient == id->ToRecipient());
  // A new identity's texts read back as the same keys.
  const auto fresh = *HybridIdentity::Generate();
  EXPECT_TRUE(HybridRecipient::Parse(fresh.ToRecipient().Encode())->public_key() == fresh.ToRecipient().public_key());
  EXPECT_EQ(HybridIdentity::Parse(fresh.Encode().view())->Encode().view(), fresh.Encode().view());
}

TEST(AgeHybridKeys, MalformedKeysAreRefused) {
  const auto keys = KnownKeys();
  const std::string identity = keys.at("identity"), recipient = keys.at("recipient");
  const std::vector<uint8_t> good = HybridRecipient::Parse(recipient)->public_key();
  std::vector<uint8_t> big_coefficient = good;
  big_coefficient[0] = 0xFF;
  big_coefficient[1] |= 0x0F;  // the first coefficient becomes 4095
  std::vector<uint8_t> small_order = good;
  std::fill(small_order.end() - 32, small_order.end(), 0);
  std::string lower_identity = identity;
  for (char& c : lower_identity) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::string upper_recipient = recipient;
  for (char& c : upper_recipient) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  std::string bad_checksum = recipient;
  bad_checksum.back() = bad_checksum.back() == 'q' ? 'p' : 'q';
  const std::vector<uint8_t> seed(32, 1);

  const std::string identities[] = {
      lower_identity,
      Bech32("AGE-SECRET-KEY-", seed, true),                               // the X25519 type
      Bech32("AGE-SECRET-KEY-PQ-", std::vector<uint8_t>(31, 1), true),     // a short seed
      Bech32("AGE-SECRET-KEY-PQ-", std::vector<uint8_t>(64, 1), true),     // an expanded key
  };
  for (const std::string& text : identities) EXPECT_FALSE(HybridIdentity::Parse(text).has_value()) << text;
  const std::string recipients[] = {
      upper_recipient,
      bad_checksum,
      Bech32("age", std::vector<uint8_t>(good.begin(), good.begin() + 32)),  // the X25519 type
      Bech32("age1pq", std::vector<uint8_t>(good.begin(), good.end() - 1)),  // a byte short
      Bech32("age1pq", big_coefficient),
      Bech32("age1pq", small_order),
  };
  for (const std::string& text : recipients) EXPECT_FALSE(HybridRecipient::Parse(text).has_value()) << text.substr(0, 40);
  EXPECT_FALSE(X25519Recipient::Parse(recipient).has_value());
  EXPECT_FALSE(X25519Identity::Parse(identity).has_value());
}

TEST(AgeHybridFiles, OpenWithAnyOfTheirRecipientsOnly) {
  const auto a = *HybridIdentity::Generate(), b = *HybridIdentity::Generate(), stranger = *HybridIdentity::Generate();
  const auto classic = *X25519Identity::Generate();
  const HybridRecipient ra = a.ToRecipient(), rb = b.ToRecipient();
  for (const bool armor : {false, true}) {
    const std::string plain = vesk::testing::RandomBytes(70000, 3);
    const std::string file = EncryptTo({&ra, &rb}, plain, armor);
    if (!armor) {
      EXPECT_EQ(file.rfind("age-encryption.org/v1\n-> mlkem768x25519 ", 0), 0u);
    }
    for (const HybridIdentity* id : {&a, &b}) {
      std::string out;
      const Result r = DecryptWith({&stranger, &classic, id}, file, &out);
      EXPECT_TRUE(r.ok()) << r.detail;
      EXPECT_TRUE(out == plain);
    }
    EXPECT_EQ(DecryptWith({&stranger, &classic}, file).status, Status::kNoMatchingIdentity);
  }
}

TEST(AgeHybridFiles, MixWithClassicRecipientsIsRefused) {
  const auto pq = *HybridIdentity::Generate();
  const auto classic = *X25519Identity::Generate();
  const HybridRecipient rp = pq.ToRecipient();
  const X25519Recipient rc = classic.ToRecipient();
  const ScryptRecipient pass(SecretBytes::FromString("pw"), 1);
  struct Case {
    std::vector<const Recipient*> to;
    RecipientMix mix;
  };
  const Case cases[] = {{{&rp}, RecipientMix::kFine},
                        {{&rp, &rp}, RecipientMix::kFine},
                        {{&rc, &rc}, RecipientMix::kFine},
                        {{&rp, &rc}, RecipientMix::kPostQuantumWithClassic},
                        {{&rc, &rp}, RecipientMix::kPostQuantumWithClassic},
                        {{&rp, &pass}, RecipientMix::kPassphraseNotAlone},
                        {{}, RecipientMix::kNoRecipients}};
  for (const Case& c : cases) {
    EXPECT_EQ(CheckRecipientMix(c.to), c.mix);
    Result r;
    const std::string file = EncryptTo(c.to, "x", false, &r);
    EXPECT_EQ(r.ok(), c.mix == RecipientMix::kFine) << r.detail;
    if (!r.ok()) {
      EXPECT_EQ(r.status, c.mix == RecipientMix::kPostQuantumWithClassic ? Status::kMixedRecipients
                                                                         : Status::kInvalidArgument);
      EXPECT_EQ(file, "");
    }
  }
}

TEST(AgeHybridKeys, KeyFilesWithBothKeyTypes) {
  const auto pq = *HybridIdentity::Generate();
  const auto classic = *X25519Identity::Generate();
  const SecretBytes text = KeyFileText(pq, 0);
  EXPECT_EQ(text.view().find("# public key: " + pq.ToRecipient().Encode() + "\n" + std::string(pq.Encode().view()) + "\n"),
            text.view().find("# public key: "));
  const std::string both = std::string(text.view()) + std::string(KeyFileText(classic, 0).view());
  std::vector<std::unique_ptr<Identity>> ids;
  ASSERT_TRUE(ParseIdentityFile(both, ids).ok());
  ASSERT_EQ(ids.size(), 2u);
  const std::string file = EncryptTo({&static_cast<const Recipient&>(pq.ToRecipient())}, "pq");
  EXPECT_TRUE(DecryptWith({ids[0].get()}, file).ok());

  std::vector<std::unique_ptr<Recipient>> recipients;
  ASSERT_TRUE(ParseRecipientFile(pq.ToRecipient().Encode() + "\n# x\n" + classic.ToRecipient().Encode() + "\r\n",
                                 recipients).ok());
  ASSERT_EQ(recipients.size(), 2u);
  EXPECT_TRUE(recipients[0]->PostQuantum());
  EXPECT_FALSE(recipients[1]->PostQuantum());
  // Errors name the line and never echo it.
  const std::pair<std::string, std::string> bad_identities[] = {
      {"AGE-SECRET-KEY-PQ-1QQQQ\n", "line 1: malformed secret key"},
      {"\n" + std::string(pq.Encode().view()) + "X\n", "line 2: malformed secret key"},
      {"AGE-PLUGIN-YUBIKEY-1QQQ\n", "line 1: plugin identities are not supported"},
      {"", "no identities in the file"},
  };
  for (const auto& [text, detail] : bad_identities) {
    const Result r = ParseIdentityFile(text, ids);
    EXPECT_EQ(r.status, Status::kBadKey);
    EXPECT_EQ(r.detail, detail);
    EXPECT_TRUE(ids.empty());
  }
  const Result r = ParseRecipientFile("age1pq1qqqq\n", recipients);
  EXPECT_EQ(r.detail, "line 1: malformed recipient");
  EXPECT_TRUE(recipients.empty());
}

// The reader's checks of the stanza, one crafted header each: every one is
// refused before anything is written.
TEST(AgeHybridFiles, MalformedStanzasAreRefused) {
  const auto id = *HybridIdentity::Generate();
  const SecretBytes key = FixedFileKey();
  Stanza good;
  ASSERT_TRUE(id.ToRecipient().Wrap(key, good).ok());
  ASSERT_EQ(good.args.size(), 1u);
  ASSERT_EQ(good.body.size(), 32u);
  std::vector<uint8_t> enc;
  ASSERT_TRUE(DecodeBase64Raw(good.args[0], enc));
  ASSERT_EQ(enc.size(), 1120u);

  auto with_args = [&](std::vector<std::string> args) { return Stanza {good.type, std::move(args), good.body}; };
  auto with_share = [&](std::vector<uint8_t> share) { return with_args({EncodeBase64Raw(share)}); };
  auto with_body = [&](std::size_t size) { return Stanza {good.type, good.args, std::vector<uint8_t>(size, 7)}; };
  std::string non_canonical = good.args[0];
  // 1120 bytes leave 4 unused bits in the last character: 'B' sets one.
  non_canonical.back() = 'B';
  std::vector<uint8_t> low_order = enc;
  std::fill(low_order.end() - 32, low_order.end(), 0);

  struct Case {
    const char* what;
    Stanza stanza;
    Status status;
  };
  const Case cases[] = {
      {"no share", with_args({}), Status::kHeaderInvalid},
      {"an extra argument", with_args({good.args[0], "x"}), Status::kHeaderInvalid},
      {"a share a byte short", with_share(std::vector<uint8_t>(enc.begin(), enc.end() - 1)), Status::kHeaderInvalid},
      {"a share a byte long", with_share([&] { auto e = enc; e.push_back(0); return e; }()), Status::kHeaderInvalid},
      {"non-canonical base64", with_args({non_canonical}), Status::kHeaderInvalid},
      {"padded base64", with_args({good.args[0] + "="}), Status::kHeaderInvalid},
      {"an empty body", with_body(0), Status::kHeaderInvalid},
      {"a 31-byte body", with_body(31), Status::kHeaderInvalid},
      {"a 33-byte body", with_body(33), Status::kHeaderInvalid},
      {"a 48-byte body", with_body(48), Status::kHeaderInvalid},
      {"a low-order X25519 share", with_share(low_order), Status::kHeaderInvalid},
      {"a body that does not authenticate", with_body(32), Status::kNoMatchingIdentity},
  };
  for (const Case& c : cases) {
    std::string out = "untouched";
    const Result r = DecryptWith({&id}, CraftFile({c.stanza}, key, "secret"), &out);
    EXPECT_EQ(r.status, c.status) << c.what << ": " << r.detail;
    EXPECT_EQ(out, "") << c.what;
  }
  // Stanzas of other types are not read as ours, however they look.
  std::string out;
  const Stanza others[] = {{"mlkem768x25519x", {"!"}, {}}, {"MLKEM768X25519", {}, {1}}, {"X25519mlkem768", good.args, good.body}};
  for (const Stanza& other : others) {
    EXPECT_TRUE(DecryptWith({&id}, CraftFile({other, good}, key, "secret"), &out).ok()) << other.type;
    EXPECT_EQ(out, "secret");
  }
}

}  // namespace
}  // namespace vesk::age
