// The header parser against crafted headers: every form a reader must
// reject, the stanza checks of the X25519 and scrypt types, and the exact
// round trip of what it accepts.
#include "crypto/age/header.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crypto/age/keys.h"

namespace vesk::age {
namespace {

// The example header printed in the age v1 format document.
const std::string kVersion = "age-encryption.org/v1\n";
const std::string kStanza =
    "-> X25519 XEl0dJ6y3C7KZkgmgWUicg63EyXJiwBJW8PdYJ/cYBE\n"
    "qRS0AMjdjPvZ/WT08U2KL4G+PIooA3hy38SvLpvaC1E\n";
const std::string kMac = "--- HK2NmOBN9Dpq0Gw6xMCuhFcQlQLvZ/wQUi/2scLG75s\n";
const std::string kShare = "XEl0dJ6y3C7KZkgmgWUicg63EyXJiwBJW8PdYJ/cYBE";
const std::string kBody32 = "qRS0AMjdjPvZ/WT08U2KL4G+PIooA3hy38SvLpvaC1E";
const std::string kSalt16 = "ajMFur+EJLGaohv/dLRGnw";

Result Parse(const std::string& text, Header& h, std::size_t& used) {
  return ParseHeader({reinterpret_cast<const uint8_t*>(text.data()), text.size()}, h, used);
}

Status ParseStatus(const std::string& text) {
  Header h;
  std::size_t used = 0;
  return Parse(text, h, used).status;
}

// Parses (which must succeed) and runs the reader's stanza checks.
Status CheckStatus(const std::string& stanzas) {
  Header h;
  std::size_t used = 0;
  const Result r = Parse(kVersion + stanzas + kMac, h, used);
  EXPECT_TRUE(r.ok()) << r.detail << "\n" << stanzas;
  return CheckStanzas(h.stanzas).status;
}

TEST(HeaderParse, TheDocumentsExampleParsesAndSerialisesToTheSameBytes) {
  const std::string text = kVersion + kStanza + kMac + "payload bytes";
  Header h;
  std::size_t used = 0;
  ASSERT_TRUE(Parse(text, h, used).ok());
  EXPECT_EQ(used, text.size() - std::string("payload bytes").size());
  ASSERT_EQ(h.stanzas.size(), 1u);
  EXPECT_EQ(h.stanzas[0].type, "X25519");
  EXPECT_EQ(h.stanzas[0].args, std::vector<std::string> {kShare});
  EXPECT_EQ(h.stanzas[0].body.size(), 32u);
  EXPECT_EQ(Serialize(h), text.substr(0, used));
  EXPECT_EQ(CheckStanzas(h.stanzas).status, Status::kOk);
}

TEST(HeaderParse, BodiesWrapAt64ColumnsAndEndWithAShortLine) {
  // 48 zero bytes are exactly one full line of 'A's, then an empty line.
  Header h;
  h.stanzas.push_back({"t", {"a", "b"}, std::vector<uint8_t>(48, 0)});
  h.stanzas.push_back({"u", {}, {}});
  const std::string expected = kVersion + "-> t a b\n" + std::string(64, 'A') + "\n\n" + "-> u\n\n" + "---";
  EXPECT_EQ(SerializeWithoutMac(h), expected);
  for (std::size_t n : {0u, 1u, 47u, 48u, 49u, 96u, 200u}) {
    Header one;
    one.stanzas.push_back({"some.example/type", {"x", "!~"}, std::vector<uint8_t>(n, 0x5A)});
    one.mac.fill(7);
    const std::string text = Serialize(one);
    Header back;
    std::size_t used = 0;
    ASSERT_TRUE(Parse(text, back, used).ok()) << n;
    EXPECT_EQ(back.stanzas, one.stanzas);
    EXPECT_EQ(back.mac, one.mac);
    EXPECT_EQ(used, text.size());
  }
}

TEST(HeaderParse, RejectsMalformedVersionLines) {
  EXPECT_EQ(ParseStatus("age-encryption.org/v2\n" + kStanza + kMac), Status::kUnsupportedVersion);
  for (const std::string& bad : {std::string("age-encryption.org/v1\r\n"), std::string("age-encryption.org/\n"),
                                 std::string("age-encryption.org/v1 \n"), std::string("AGE-ENCRYPTION.ORG/v1\n"),
                                 std::string("\nage-encryption.org/v1\n"), std::string("age-encryption.org/v1")}) {
    EXPECT_EQ(ParseStatus(bad + kStanza + kMac), Status::kHeaderInvalid) << bad;
  }
  EXPECT_EQ(ParseStatus(""), Status::kHeaderInvalid);
  EXPECT_EQ(ParseStatus("hello world"), Status::kHeaderInvalid);
}

TEST(HeaderParse, RejectsMalformedStanzas) {
  const std::string bad_stanzas[] = {
      "->\n" + kBody32 + "\n",                           // no arguments
      "-> \n" + kBody32 + "\n",                          // empty argument
      "->  X25519 " + kShare + "\n" + kBody32 + "\n",    // double space
      "-> X25519 " + kShare + " \n" + kBody32 + "\n",    // trailing space
      "-> X25519\t" + kShare + "\n" + kBody32 + "\n",    // tab is not a separator
      "-> X25519 \x80\n" + kBody32 + "\n",               // not VCHAR
      "->X25519 " + kShare + "\n" + kBody32 + "\n",      // no space after the arrow
      "-> X25519 " + kShare + "\r\n" + kBody32 + "\n",   // CR in the argument line
      "-> X25519 " + kShare + "\n" + kBody32 + "\r\n",   // CR in the body
      "-> X25519 " + kShare + "\n" + kBody32 + "=\n",    // padded body
      "-> X25519 " + kShare + "\n" + "qRS0AMjdjPvZ/WT08U2KL4G+PIooA3hy38SvLpvaC1F\n",  // stray bits
      "-> X25519 " + kShare + "\n" + std::string(65, 'A') + "\n",                     // line too long
      "-> X25519 " + kShare + "\n" + std::string(64, 'A') + "\n",                     // no final short line
      "-> X25519 " + kShare + "\n" + "AAAA\nAAAA\n",     // two short lines
      "-> X25519 " + kShare + "\n",                      // no body at all
      "-> X25519 " + kShare + "\n" + " " + kBody32 + "\n",  // leading space in the body
  };
  for (const std::string& s : bad_stanzas) {
    EXPECT_EQ(ParseStatus(kVersion + s + kMac), Status::kHeaderInvalid) << s;
  }
}

TEST(HeaderParse, RejectsMalformedMacLinesAndIncompleteHeaders) {
  const std::string mac = "HK2NmOBN9Dpq0Gw6xMCuhFcQlQLvZ/wQUi/2scLG75s";
  for (const std::string& bad : std::vector<std::string> {"---" + mac + "\n", "---  " + mac + "\n", "--- " + mac + " \n",
                                 "--- " + mac + "=\n", "--- " + mac.substr(0, 42) + "\n",
                                 "--- HK2NmOBN9Dpq0Gw6xMCuhFcQlQLvZ/wQUi/2scLG75t\n", std::string("---\n"),
                                 std::string("--- \n"), "--- " + mac + "\r\n", "--- " + mac, "-- " + mac + "\n"}) {
    EXPECT_EQ(ParseStatus(kVersion + kStanza + bad), Status::kHeaderInvalid) << bad;
  }
  EXPECT_EQ(ParseStatus(kVersion + kMac), Status::kHeaderInvalid);  // no stanza
  const std::string whole = kVersion + kStanza + kMac;
  for (std::size_t cut = 0; cut < whole.size(); ++cut) {
    EXPECT_EQ(ParseStatus(whole.substr(0, cut)), Status::kHeaderInvalid) << cut;
  }
}

// Long argument lines are read as long as the header stays within its
// limit; a header beyond it is too large for us, which is not a damage.
TEST(HeaderParse, OnlyTheWholeHeaderHasALimitAndPassingItIsNoDamage) {
  std::string huge = kVersion;
  while (huge.size() <= kMaxHeaderSize) huge += "-> t\n" + std::string(63, 'A') + "\n";
  const std::string long_line = "-> " + std::string(kMaxHeaderSize / 2, 'x') + "\n\n";
  const struct {
    std::string header;
    Status status;
  } cases[] = {
      {kVersion + "-> " + std::string(100000, 'x') + "\n\n" + kStanza + kMac, Status::kOk},
      {kVersion + long_line + kStanza + kMac, Status::kOk},
      {kVersion + long_line + long_line + kStanza + kMac, Status::kHeaderTooLarge},
      {huge + kMac, Status::kHeaderTooLarge},
      {kVersion + "-> " + std::string(kMaxHeaderSize, 'x'), Status::kHeaderTooLarge},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseStatus(c.header), c.status) << c.header.size();
}

TEST(StanzaChecks, X25519StanzasMustHaveOneShareAndA32ByteBody) {
  EXPECT_EQ(CheckStatus(kStanza), Status::kOk);
  const std::string body = kBody32 + "\n";
  const std::string bad[] = {
      "-> X25519\n" + body,                                   // no share
      "-> X25519 " + kShare + " extra\n" + body,              // an extra argument
      "-> X25519 " + kShare.substr(0, 42) + "\n" + body,      // 31 bytes
      "-> X25519 " + kShare + "AA\n" + body,                  // 33 bytes
      "-> X25519 " + kShare + "\n" + std::string(22, 'A') + "\n",  // 16-byte body
      "-> X25519 " + kShare + "\n" + std::string(64, 'A') + "\n" + "AAAAAAAAAAAAAAAAAAAAAA\n",  // 64-byte body
      "-> X25519 " + kShare + "\n\n",                         // empty body
  };
  for (const std::string& s : bad) EXPECT_EQ(CheckStatus(s), Status::kHeaderInvalid) << s;
  // Other types with any arguments and bodies are left alone.
  EXPECT_EQ(CheckStatus("-> x25519 a b c\n\n" + kStanza + "-> example.com/enigma !\nAAAA\n"), Status::kOk);
}

TEST(StanzaChecks, ScryptStanzasMustBeAloneAndWellFormed) {
  const std::string body = kBody32 + "\n";
  EXPECT_EQ(CheckStatus("-> scrypt " + kSalt16 + " 18\n" + body), Status::kOk);
  EXPECT_EQ(CheckStatus("-> scrypt " + kSalt16 + " 18\n" + body + kStanza), Status::kHeaderInvalid);
  EXPECT_EQ(CheckStatus(kStanza + "-> scrypt " + kSalt16 + " 18\n" + body), Status::kHeaderInvalid);
  EXPECT_EQ(CheckStatus("-> scrypt " + kSalt16 + " 18\n" + body + "-> scrypt " + kSalt16 + " 18\n" + body),
            Status::kHeaderInvalid);
  EXPECT_EQ(CheckStatus("-> scrypt " + kSalt16 + " 10\n" + body + "-> unknown\n\n"), Status::kHeaderInvalid);
  for (const char* factor : {"018", "0", "-1", "+18", "0x12", "18a", "1e1", "00", "18.0"}) {
    EXPECT_EQ(CheckStatus("-> scrypt " + kSalt16 + " " + factor + "\n" + body), Status::kHeaderInvalid) << factor;
  }
  const std::string bad[] = {
      "-> scrypt " + kSalt16 + "\n" + body,                      // no work factor
      "-> scrypt " + kSalt16 + " 18 extra\n" + body,             // extra argument
      "-> scrypt " + kSalt16.substr(0, 20) + " 18\n" + body,     // 15-byte salt
      "-> scrypt " + kSalt16 + "AA 18\n" + body,                 // 17-byte salt
      "-> scrypt " + kSalt16 + " 18\n" + std::string(22, 'A') + "\n",  // short body
  };
  for (const std::string& s : bad) EXPECT_EQ(CheckStatus(s), Status::kHeaderInvalid) << s;
  // A huge but well-formed work factor is a matter for the reader's limit.
  EXPECT_EQ(CheckStatus("-> scrypt " + kSalt16 + " 99999999999999999999\n" + body), Status::kOk);
}

TEST(HeaderMac, CoversEveryByteUpToTheDashes) {
  const SecretBytes key(std::string(16, 'k').data(), 16);
  Header h;
  h.stanzas.push_back({"X25519", {kShare}, std::vector<uint8_t>(32, 1)});
  SealHeader(h, key);
  EXPECT_TRUE(HeaderMacMatches(h, key));
  EXPECT_FALSE(HeaderMacMatches(h, SecretBytes(std::string(16, 'K').data(), 16)));
  Header changed = h;
  changed.stanzas[0].body[31] ^= 1;
  EXPECT_FALSE(HeaderMacMatches(changed, key));
  changed = h;
  changed.stanzas[0].args[0][0] = 'Y';
  EXPECT_FALSE(HeaderMacMatches(changed, key));
  changed = h;
  changed.mac[0] ^= 0x80;
  EXPECT_FALSE(HeaderMacMatches(changed, key));
}

}  // namespace
}  // namespace vesk::age
