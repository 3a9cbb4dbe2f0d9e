// SSH public keys as recipients: what is taken and why the rest is refused
// (the stanzas themselves are checked against the age tool in the
// command-line tests).
#include <gtest/gtest.h>

#include "crypto/age/keys.h"
#include "crypto/age/ssh_keys.h"

namespace vesk::age {
namespace {

constexpr const char* kEd25519 = "ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAIFNXSGNdvjVmwER25gDibnGyPqIELqKbq/mPfP2dpI2Q";

TEST(AgeSshKeys, PublicKeyLinesAreTakenOrRefusedWithTheirReason) {
  struct Case {
    std::string line;
    SshKeyError error;
  } cases[] = {
      {std::string(kEd25519) + " me@host", SshKeyError::kNone},
      {kEd25519, SshKeyError::kNone},
      // The type in front must be the one inside.
      {"ssh-rsa AAAAC3NzaC1lZDI1NTE5AAAAIFNXSGNdvjVmwER25gDibnGyPqIELqKbq/mPfP2dpI2Q", SshKeyError::kMalformed},
      {"ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAIFNXSGNdvjVmwER25gDibnGyPqIELqKbq/mPfP2dpI2", SshKeyError::kMalformed},
      {"ssh-ed25519", SshKeyError::kMalformed},
      // y = 2^255 - 1 is no field element; y = 1 is the identity point.
      {"ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAIP////////////////////////////////////////9/", SshKeyError::kMalformed},
      {"ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAIAEAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA", SshKeyError::kMalformed},
      {"ecdsa-sha2-nistp256 AAAAE2VjZHNhLXNoYTItbmlzdHAyNTYAAAAIbmlzdHAyNTYAAABBBAgocDArFyDlaNUlf+wdh6OF1biYAGXeUp/"
       "HFbXVnq3YlSjljxzbsr6iTVcZBd/giJchejbC1rQLQIOekO/da40=",
       SshKeyError::kUnsupportedType},
      {"ssh-rsa AAAAB3NzaC1yc2EAAAADAQABAAAAgQCqvJSMuySBjeW2Z/1cTTqslnmEwjNSAKbKCZcEL2GGOsJtmtVajQJO02ONYYE5kJUljj20wcy7Ug"
       "V8SuGj6eje1v02DjXoSugLIKjTU2C4Jzj9vQc7/cYlcDqdI9sp9pTBqxhmpvPbjMG2l9A3hU922Ss/bF3GxC713NooP5c+0w==",
       SshKeyError::kRsaTooSmall},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    SshKeyError error = SshKeyError::kFailed;
    const std::unique_ptr<SshRecipient> r = SshRecipient::Parse(c.line, &error);
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(r != nullptr, c.error == SshKeyError::kNone);
    if (r) {
      EXPECT_EQ(r->Encode(), kEd25519);  // the comment is left out
      EXPECT_EQ(r->tag().size(), 6u);
      EXPECT_FALSE(r->PostQuantum());
    }
    EXPECT_EQ(ParseRecipient(c.line) != nullptr, c.error == SshKeyError::kNone);
  }
}

TEST(AgeSshKeys, RecipientFilesSkipSshKeysOfOtherTypesButNotBrokenOnes) {
  const std::string ecdsa =
      "ecdsa-sha2-nistp256 AAAAE2VjZHNhLXNoYTItbmlzdHAyNTYAAAAIbmlzdHAyNTYAAABBBAgocDArFyDlaNUlf+wdh6OF1biYAGXeUp/"
      "HFbXVnq3YlSjljxzbsr6iTVcZBd/giJchejbC1rQLQIOekO/da40= x\n";
  std::vector<std::unique_ptr<Recipient>> out;
  EXPECT_TRUE(ParseRecipientFile(ecdsa + kEd25519 + "\n", out).ok());
  EXPECT_EQ(out.size(), 1u);
  EXPECT_EQ(ParseRecipientFile(ecdsa, out).status, Status::kBadKey);  // nothing left
  const Result broken = ParseRecipientFile(std::string(kEd25519) + "\nssh-ed25519 AAAA\n", out);
  EXPECT_EQ(broken.status, Status::kBadKey);
  EXPECT_EQ(broken.detail.rfind("line 2:", 0), 0u) << broken.detail;
}

}  // namespace
}  // namespace vesk::age
