// Whole files through the public calls: recipients and identities of both
// types, the typed failures, ASCII armor (with vectors from the published
// age test kit), key files and the file-descriptor entry points.
#include "crypto/age/age.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "age_test_util.h"
#include "crypto/age/armor.h"
#include "crypto/age/encoding.h"
#include "support/temp_dir.h"

namespace vesk::age {
namespace {

using testing::CraftFile;
using testing::FixedFileKey;
using testing::Sha256Hex;

std::string EncryptTo(const std::vector<const Recipient*>& to, const std::string& plain, bool armor = false) {
  MemorySource in(plain);
  StringSink out;
  std::atomic<bool> stop {false};
  EncryptOptions options;
  options.armor = armor;
  const Result r = Encrypt(to, in, out, options, stop);
  EXPECT_TRUE(r.ok()) << r.detail;
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

SecretBytes Pass(std::string_view s) { return SecretBytes::FromString(s); }

TEST(AgeFiles, X25519FilesOpenWithAnyOfTheirRecipientsOnly) {
  const auto a = *X25519Identity::Generate(), b = *X25519Identity::Generate(), stranger = *X25519Identity::Generate();
  const X25519Recipient ra = a.ToRecipient(), rb = b.ToRecipient();
  for (bool armor : {false, true}) {
    for (std::size_t size : {0u, 1u, 65537u}) {
      const std::string plain = vesk::testing::RandomBytes(size, 1);
      const std::string file = EncryptTo({&ra, &rb}, plain, armor);
      EXPECT_EQ(file.rfind(armor ? "-----BEGIN AGE ENCRYPTED FILE-----\n" : "age-encryption.org/v1\n-> X25519 ", 0), 0u);
      for (const X25519Identity* id : {&a, &b}) {
        std::string out;
        const Result r = DecryptWith({&stranger, id}, file, &out);
        EXPECT_TRUE(r.ok()) << r.detail;
        EXPECT_TRUE(out == plain);
      }
      EXPECT_EQ(DecryptWith({&stranger}, file).status, Status::kNoMatchingIdentity);
    }
  }
  EXPECT_EQ(DecryptWith({}, EncryptTo({&ra}, "x")).status, Status::kInvalidArgument);
}

TEST(AgeFiles, UnknownStanzasAreSkippedButCoveredByTheMac) {
  const auto id = *X25519Identity::Generate();
  const SecretBytes key = FixedFileKey();
  Stanza mine;
  ASSERT_TRUE(id.ToRecipient().Wrap(key, mine).ok());
  const Stanza other {"example.com/enigma", {"arg"}, std::vector<uint8_t>(70, 9)};
  std::string out;
  EXPECT_TRUE(DecryptWith({&id}, CraftFile({other, mine}, key, "hello"), &out).ok());
  EXPECT_EQ(out, "hello");
  // The same stanzas, the unknown one changed after the MAC was made.
  Header h;
  h.stanzas = {other, mine};
  SealHeader(h, key);
  h.stanzas[0].args[0] = "arG";
  EXPECT_EQ(DecryptWith({&id}, Serialize(h) + testing::SealPayload("hello", key)).status, Status::kHeaderInvalid);
  // A flipped MAC, and a flipped bit in our own stanza's body.
  std::string file = CraftFile({other, mine}, key, "hello");
  const std::size_t mac_at = file.find("\n--- ") + 6;
  file[mac_at] = file[mac_at] == 'A' ? 'B' : 'A';
  EXPECT_EQ(DecryptWith({&id}, file).status, Status::kHeaderInvalid);
  Stanza flipped = mine;
  flipped.body[5] ^= 1;
  EXPECT_EQ(DecryptWith({&id}, CraftFile({other, flipped}, key, "hello")).status, Status::kNoMatchingIdentity);
}

TEST(AgeFiles, LowOrderSharesAreRefused) {
  const auto id = *X25519Identity::Generate();
  // The all-zero point and a point of order 8 give an all-zero shared secret.
  std::vector<uint8_t> order8 = {0xe0, 0xeb, 0x7a, 0x7c, 0x3b, 0x41, 0xb8, 0xae, 0x16, 0x56, 0xe3,
                                 0xfa, 0xf1, 0x9f, 0xc4, 0x6a, 0xda, 0x09, 0x8d, 0xeb, 0x9c, 0x32,
                                 0xb1, 0xfd, 0x86, 0x62, 0x05, 0x16, 0x5f, 0x49, 0xb8, 0x00};
  for (const auto& share : {std::vector<uint8_t>(32, 0), order8}) {
    const Stanza s {"X25519", {EncodeBase64Raw(share)}, std::vector<uint8_t>(32, 0)};
    EXPECT_EQ(DecryptWith({&id}, CraftFile({s}, FixedFileKey(), "x")).status, Status::kHeaderInvalid);
  }
  const X25519Recipient bad(std::array<uint8_t, 32> {});
  Stanza out;
  EXPECT_EQ(bad.Wrap(FixedFileKey(), out).status, Status::kInvalidArgument);
}

TEST(AgeFiles, PassphraseFilesAndTheirFailures) {
  const ScryptRecipient to(Pass("correct horse"), 4);
  const std::string file = EncryptTo({&to}, "secret text");
  EXPECT_NE(file.find("\n-> scrypt "), std::string::npos);
  EXPECT_NE(file.find(" 4\n"), std::string::npos);
  const ScryptIdentity right(Pass("correct horse")), wrong(Pass("correct horsE")), strict(Pass("correct horse"), 3);
  std::string out;
  EXPECT_TRUE(DecryptWith({&right}, file, &out).ok());
  EXPECT_EQ(out, "secret text");
  EXPECT_EQ(DecryptWith({&wrong}, file).status, Status::kWrongPassphrase);
  EXPECT_EQ(DecryptWith({&strict}, file).status, Status::kWorkFactorTooHigh);
  const auto id = *X25519Identity::Generate();
  EXPECT_EQ(DecryptWith({&id}, file).status, Status::kPassphraseRequired);
  // A passphrase on an X25519 file opens nothing.
  const X25519Recipient rid = id.ToRecipient();
  EXPECT_EQ(DecryptWith({&right}, EncryptTo({&rid}, "x")).status, Status::kNoMatchingIdentity);
  // Passphrases are not mixed with other recipients, writing or reading.
  MemorySource in("x");
  StringSink sink;
  std::atomic<bool> stop {false};
  EXPECT_EQ(Encrypt({&to, &rid}, in, sink, {}, stop).status, Status::kInvalidArgument);
  Stanza s1, s2;
  ASSERT_TRUE(to.Wrap(FixedFileKey(), s1).ok());
  ASSERT_TRUE(rid.Wrap(FixedFileKey(), s2).ok());
  EXPECT_EQ(DecryptWith({&right, &id}, CraftFile({s1, s2}, FixedFileKey(), "x")).status, Status::kHeaderInvalid);
  EXPECT_EQ(ScryptRecipient(Pass("p"), 31).Wrap(FixedFileKey(), s1).status, Status::kInvalidArgument);
}

// From the age test kit: an armored file for this identity, whose payload
// has this SHA-256.
const char kKitIdentity[] = "AGE-SECRET-KEY-1XMWWC06LY3EE5RYTXM9MFLAZ2U56JJJ36S0MYPDRWSVLUL66MV4QX3S7F6";
const char kKitPayloadSha[] = "013f54400c82da08037759ada907a8b864e97de81c088a182062c4b5622fd2ab";
const std::string kKitLines[] = {"YWdlLWVuY3J5cHRpb24ub3JnL3YxCi0+IFgyNTUxOSBURWlGMHlwcXIrYnB2Y3FY",
                                 "TnlDVkpwTDdPdXdQZFZ3UEw3S1FFYkZET0NjCkVtRUNBRWNLTituL1ZzOVNiV2lW",
                                 "K0h1MHIrRThSNzdEZFdZeWQ4M253N1UKLS0tIFZuKzU0anFpaVVDRStXWmNFVlkz",
                                 "ZjFzcUhqbHUvejFMQ1EvVDdYbTdxSTAK7s9ix86RtDMnTmjU8vkTTLdMW/73vqpS",
                                 "yPC8DpksHoMx+2Y="};

std::string KitArmor(const std::vector<std::string>& lines, const std::string& eol = "\n") {
  std::string s = "-----BEGIN AGE ENCRYPTED FILE-----" + eol;
  for (const auto& l : lines) s += l + eol;
  return s + "-----END AGE ENCRYPTED FILE-----" + eol;
}

std::vector<std::string> KitLines() { return {std::begin(kKitLines), std::end(kKitLines)}; }

TEST(AgeArmor, TestKitVectorsThatMustOpen) {
  const auto id = *X25519Identity::Parse(kKitIdentity);
  const std::string base = KitArmor(KitLines());
  std::string out;
  for (const std::string& file : {base, KitArmor(KitLines(), "\r\n"), base.substr(0, base.size() - 1),
                                  "\n\n   \t\n" + base + "\n   \t\n"}) {
    const Result r = DecryptWith({&id}, file, &out);
    EXPECT_TRUE(r.ok()) << r.detail << "\n" << file;
    EXPECT_EQ(Sha256Hex(out), kKitPayloadSha);
  }
  // A last line of the full 64 columns (another file of the kit).
  std::vector<std::string> full = KitLines();
  full[3] = "ZjFzcUhqbHUvejFMQ1EvVDdYbTdxSTAK7s9ix86RtDMnTmjU8vkTTLdMW3bj4iHS";
  full[4] = "YS3WWUtZB5wJqKgEe8kpsp0iOnD2CNG4DVKBC0Z7SAcCFb8xdwV9CRavSEE7OU1c";
  ASSERT_TRUE(DecryptWith({&id}, KitArmor(full), &out).ok());
  EXPECT_EQ(Sha256Hex(out), "724a112a2cac139a4fca3ea0f799f2e5ccd1d0db46af654dee40567bff16ee33");
}

TEST(AgeArmor, TestKitVectorsThatMustNotOpen) {
  const auto id = *X25519Identity::Parse(kKitIdentity);
  const std::string base = KitArmor(KitLines());
  auto with = [](std::size_t i, const std::string& line) {
    auto l = KitLines();
    l[i] = line;
    return KitArmor(l);
  };
  std::vector<std::string> short_lines = {"YWdlLWVuY3J5cHRp",
                                          "b24ub3JnL3YxCi0+IFgyNTUxOSBURWlGMHlwcXIrYnB2Y3FYTnlDVkpwTDdPdXdQ"};
  const std::pair<std::string, Status> cases[] = {
      {"-----BEGIN AGE ENCRYPTED FILE-----\n\n" + base.substr(35), Status::kArmorInvalid},  // empty line first
      {base.substr(0, base.size() - 33) + "\n" + base.substr(base.size() - 33), Status::kArmorInvalid},
      {with(3, kKitLines[3] + " "), Status::kArmorInvalid},          // space at the end of a line
      {with(1, " " + kKitLines[1].substr(1)), Status::kArmorInvalid},  // space at the start
      {with(4, "yPC8DpksHoMx+2Y= "), Status::kArmorInvalid},
      {with(4, "yPC8DpksHoMx+2Z="), Status::kArmorInvalid},          // not canonical
      {with(4, "yPC8DpksHoMx+2Y"), Status::kArmorInvalid},           // no padding
      {with(4, "yPC8DpksHoMx+2Y\n="), Status::kArmorInvalid},        // line end inside the padding
      {with(4, "yPC8DpksHoMx+2Y=\n=lB0Z"), Status::kArmorInvalid},   // a checksum line
      {with(2, kKitLines[2].substr(0, 10) + "!" + kKitLines[2].substr(11)), Status::kArmorInvalid},
      {with(0, "Version: 1\n" + kKitLines[0]), Status::kArmorInvalid},  // PEM headers
      {with(0, kKitLines[0] + kKitLines[1]), Status::kArmorInvalid},    // a long line
      {base + "garbage\n", Status::kArmorInvalid},
      {base.substr(0, base.size() - 33), Status::kArmorInvalid},       // no END line
      {"-----BEGIN AGE ENCRYPTED FILE-----\r\n" + base.substr(35), Status::kArmorInvalid},  // mixed line ends
      {"garbage\n" + base, Status::kHeaderInvalid},
      {"----- BEGIN AGE ENCRYPTED FILE -----\n" + base.substr(35), Status::kHeaderInvalid},
      {"-----begin age encrypted file-----\n" + base.substr(35), Status::kHeaderInvalid},
      {"-----BEGIN AGE ENCRYPTED DATA-----\n" + base.substr(35), Status::kHeaderInvalid},
      {"-----BEGIN AGE ENCRYPTED FILE-----\n-----END AGE ENCRYPTED FILE-----\n", Status::kArmorInvalid},
  };
  for (const auto& [file, status] : cases) {
    std::string out;
    EXPECT_EQ(DecryptWith({&id}, file, &out).status, status) << file;
    EXPECT_TRUE(out.empty());
  }
  // Whitespace may not come before a binary file either.
  const X25519Recipient r = id.ToRecipient();
  EXPECT_EQ(DecryptWith({&id}, " " + EncryptTo({&r}, "x")).status, Status::kHeaderInvalid);
  // The header inside the armor ends its lines with CRLF (test kit).
  const auto crlf_id = *X25519Identity::Parse("AGE-SECRET-KEY-1EGTZVFFV20835NWYV6270LXYVK2VKNX2MMDKWYKLMGR48UAWX40Q2P2LM0");
  EXPECT_EQ(DecryptWith({&crlf_id}, KitArmor({"YWdlLWVuY3J5cHRpb24ub3JnL3YxDQotPiBYMjU1MTkgVEVpRjB5cHFyK2JwdmNx",
                                              "WE55Q1ZKcEw3T3V3UGRWd1BMN0tRRWJGRE9DYw0KaGphYkdYd1NMUTljM1M2THcy",
                                              "aStTMlR1MmZpd1FISHNsYkJONkI0MUZMRQ0KLS0tIDJLSUdiN3llMzJNV3RVdUVW",
                                              "V2tPM01QNnFDREx6T3ZUOXdGMDZsZWxCU0kNCu7PYsfOkbQzJ05o1PL5E0y3TFv+",
                                              "976qUsjwvA6ZLB6DMftm"}))
                .status,
            Status::kHeaderInvalid);
}

TEST(AgeArmor, WritesFullLinesAndOneFinalLineEnd) {
  const auto id = *X25519Identity::Generate();
  const X25519Recipient r = id.ToRecipient();
  for (std::size_t size : {0u, 5u, 1000u, 100000u}) {
    const std::string file = EncryptTo({&r}, std::string(size, 'a'), true);
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < file.size();) {
      const std::size_t nl = file.find('\n', at);
      ASSERT_NE(nl, std::string::npos);
      lines.push_back(file.substr(at, nl - at));
      at = nl + 1;
    }
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.front(), "-----BEGIN AGE ENCRYPTED FILE-----");
    EXPECT_EQ(lines.back(), "-----END AGE ENCRYPTED FILE-----");
    std::string b64;
    for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
      if (i + 2 < lines.size()) {
        EXPECT_EQ(lines[i].size(), 64u);
      }
      EXPECT_FALSE(lines[i].empty());
      b64 += lines[i];
    }
    std::vector<uint8_t> binary;
    ASSERT_TRUE(DecodeBase64Padded(b64, binary));
    std::string plain;
    EXPECT_TRUE(DecryptWith({&id}, std::string(binary.begin(), binary.end()), &plain).ok());
    EXPECT_EQ(plain, std::string(size, 'a'));
  }
}

TEST(AgeKeys, KeyFilesInTheKeygenLayout) {
  const auto id = *X25519Identity::Generate();
  const SecretBytes text = KeyFileText(id, 1700000000);
  // "# created: 2023-11-14T22:13:20Z" (or an offset), the public key, the
  // secret key, each on a line of its own.
  const std::string t(text.view());
  const std::size_t l1 = t.find('\n'), l2 = t.find('\n', l1 + 1);
  ASSERT_NE(l2, std::string::npos);
  const std::string created = t.substr(0, l1), pub = t.substr(l1 + 1, l2 - l1 - 1), sec = t.substr(l2 + 1);
  EXPECT_EQ(created.rfind("# created: 20", 0), 0u);
  EXPECT_TRUE(created.size() == 31 || created.size() == 36) << created;
  EXPECT_EQ(created[15], '-');
  EXPECT_EQ(created[21], 'T');
  EXPECT_EQ(pub, "# public key: " + id.ToRecipient().Encode());
  EXPECT_EQ(pub.size(), 14u + 62u);
  EXPECT_EQ(sec, std::string(id.Encode().view()) + "\n");
  EXPECT_EQ(sec.size(), 75u);
  std::vector<X25519Identity> ids;
  ASSERT_TRUE(ParseIdentityFile(text.view(), ids).ok());
  ASSERT_EQ(ids.size(), 1u);
  EXPECT_TRUE(ids[0].ToRecipient() == id.ToRecipient());

  const std::string k1(id.Encode().view()), k2(X25519Identity::Generate()->Encode().view());
  ASSERT_TRUE(ParseIdentityFile("# two keys\r\n" + k1 + "\r\n\r\n" + k2, ids).ok());
  EXPECT_EQ(ids.size(), 2u);
  const std::pair<std::string, std::string> bad[] = {
      {"# a\n " + k1 + "\n", "line 2"},
      {k1 + " \n", "line 1"},
      {"\n\n" + k1.substr(0, 40) + "\n", "line 3"},
      {"AGE-PLUGIN-YUBIKEY-1ABC\n", "plugin"},
      {"# nothing\n\n", "no identities"},
      {"age-encryption.org/v1\n-> scrypt", "encrypted"},
  };
  for (const auto& [file, says] : bad) {
    const Result r = ParseIdentityFile(file, ids);
    EXPECT_EQ(r.status, Status::kBadKey);
    EXPECT_NE(r.detail.find(says), std::string::npos) << r.detail;
    EXPECT_EQ(r.detail.find("AGE-SECRET"), std::string::npos) << "never echo a secret: " << r.detail;
    EXPECT_TRUE(ids.empty());
  }
  std::vector<X25519Recipient> recipients;
  const std::string r1 = id.ToRecipient().Encode();
  ASSERT_TRUE(ParseRecipientFile("# team\n" + r1 + "\n\n" + r1 + "\r\n", recipients).ok());
  EXPECT_EQ(recipients.size(), 2u);
  EXPECT_EQ(ParseRecipientFile(" " + r1, recipients).status, Status::kBadKey);
  EXPECT_NE(ParseRecipientFile("ssh-ed25519 AAAA", recipients).detail.find("SSH"), std::string::npos);
  EXPECT_NE(ParseRecipientFile("age1yubikey1qabc", recipients).detail.find("plugin"), std::string::npos);
}

TEST(AgeFiles, FileDescriptorsProgressAndInspection) {
  vesk::testing::TempDir dir;
  const std::string plain = vesk::testing::RandomBytes(3 * kChunkSize * 64 + 11, 2);  // several batches
  vesk::testing::WriteFile(dir.File("plain"), plain);
  const auto id = *X25519Identity::Generate();
  const X25519Recipient r = id.ToRecipient();
  std::atomic<bool> stop {false};
  std::vector<uint64_t> seen;
  EncryptOptions eo;
  eo.progress = [&](uint64_t n) { seen.push_back(n); };
  {
    const int in = ::open(dir.File("plain").c_str(), O_RDONLY);
    const int out = ::open(dir.File("sealed").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    EXPECT_TRUE(EncryptFd({&r}, in, out, eo, stop).ok());
    ::close(in);
    ::close(out);
  }
  ASSERT_GE(seen.size(), 3u);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_EQ(seen.back(), plain.size());
  {
    const int in = ::open(dir.File("sealed").c_str(), O_RDONLY);
    const int out = ::open(dir.File("opened").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    EXPECT_TRUE(DecryptFd({&id}, in, out, {}, stop).ok());
    ::close(in);
    ::close(out);
  }
  EXPECT_TRUE(vesk::testing::ReadFile(dir.File("opened")) == plain);
  // The room set aside for the plaintext of an armored file (a third more
  // than it holds) is given back: the output takes no more than its data.
  {
    eo.armor = true;
    const int in = ::open(dir.File("plain").c_str(), O_RDONLY);
    const int sealed = ::open(dir.File("armored").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    const int out = ::open(dir.File("opened").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    EXPECT_TRUE(EncryptFd({&r}, in, sealed, eo, stop).ok());
    ::lseek(sealed, 0, SEEK_SET);
    EXPECT_TRUE(DecryptFd({&id}, sealed, out, {}, stop).ok());
    struct stat st {};
    ::fstat(out, &st);
    EXPECT_LT(st.st_blocks * 512, static_cast<int64_t>(plain.size()) + (int64_t {1} << 20));
    for (const int fd : {in, sealed, out}) ::close(fd);
  }
  EXPECT_TRUE(vesk::testing::ReadFile(dir.File("opened")) == plain);
  // A descriptor that cannot be read or written is an I/O error.
  EXPECT_EQ(DecryptFd({&id}, -1, 1, {}, stop).status, Status::kIoError);

  FileInfo info;
  const std::string sealed_bytes = vesk::testing::ReadFile(dir.File("sealed"));
  MemorySource sealed(sealed_bytes);
  ASSERT_TRUE(Inspect(sealed, info).ok());
  EXPECT_FALSE(info.passphrase);
  EXPECT_EQ(info.types, std::vector<std::string> {"X25519"});
  const ScryptRecipient pass(Pass("p"), 5);
  const std::string armored = EncryptTo({&pass}, "", true);
  MemorySource src(armored);
  ASSERT_TRUE(Inspect(src, info).ok());
  EXPECT_TRUE(info.armored);
  EXPECT_TRUE(info.passphrase);
  EXPECT_EQ(info.scrypt_log_n, 5);
}

// The payload's size follows from the plaintext's and back, at and around
// every chunk boundary, as the file written has it.
TEST(AgeFiles, PayloadAndPlaintextSizesFollowEachOther) {
  const X25519Recipient r = X25519Identity::Generate()->ToRecipient();
  for (const std::size_t n : {std::size_t {0}, std::size_t {1}, kChunkSize - 1, kChunkSize, kChunkSize + 1,
                              2 * kChunkSize, 2 * kChunkSize + 17}) {
    SCOPED_TRACE(n);
    const std::string file = EncryptTo({&r}, std::string(n, 'x'));
    MemorySource in(file);
    FileInfo info;
    ASSERT_TRUE(Inspect(in, info, true).ok());
    EXPECT_EQ(PayloadSize(n), info.payload_size);
    EXPECT_EQ(PlaintextSize(PayloadSize(n)), n);
  }
}

}  // namespace
}  // namespace vesk::age
