// SSH keys as age recipients and identities, the two SSH recipient types of
// the age format:
//
//   -> ssh-ed25519 TAG SHARE   X25519 to the Montgomery form of the Ed25519
//   <sealed file key>          key, the shared secret tweaked by a scalar
//                              derived from the public key
//   -> ssh-rsa TAG             the file key sealed with RSA-OAEP-SHA-256
//   <sealed file key>
//
// TAG is the unpadded base64 of the first 4 bytes of SHA-256 over the SSH
// public key blob, so an identity finds its stanzas without any secret.
//
// Public keys are read from authorized_keys / .pub lines ("TYPE BASE64
// [comment]"); private keys from OpenSSH ("BEGIN OPENSSH PRIVATE KEY"), PEM
// ("BEGIN RSA PRIVATE KEY") and PKCS#8 ("BEGIN PRIVATE KEY", "BEGIN
// ENCRYPTED PRIVATE KEY") files. A protected key stays locked until a
// stanza carries its tag; its passphrase is asked for then, once.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "crypto/age/keys.h"

namespace vesk::age {

inline constexpr std::string_view kSshEd25519Type = "ssh-ed25519";
inline constexpr std::string_view kSshRsaType = "ssh-rsa";
// RSA keys below this size are refused as recipients.
inline constexpr int kMinSshRsaBits = 2048;

// Why an SSH key could not be taken.
enum class SshKeyError : int {
  kNone,
  kMalformed,        // not a well-formed key of its kind
  kUnsupportedType,  // a well-formed SSH key of a type age has no stanza for (ECDSA, DSA, security keys)
  kRsaTooSmall,      // an RSA key below kMinSshRsaBits
  kNeedsPublicKey,   // a protected PEM or PKCS#8 key without its public key (KEY.pub)
  kWrongPassphrase,  // the passphrase does not open the protected key (or none was given)
  kNoLibrary,        // a protected OpenSSH key, but neither libssh (libssh.so.4) nor ssh-keygen can open it
  kCannotExport,     // libssh opened the protected key but cannot hand it over (RSA in libssh 0.10), nor can ssh-keygen
  kFailed,           // libcrypto failed
};

class SshRecipient : public Recipient {
 public:
  // An authorized_keys or .pub line ("ssh-ed25519 AAAA... comment"); null
  // with `error` set when it is none or of an unsupported type.
  static std::unique_ptr<SshRecipient> Parse(std::string_view line, SshKeyError* error = nullptr);
  // From the SSH wire-format public key blob.
  static std::unique_ptr<SshRecipient> FromBlob(std::span<const uint8_t> blob, SshKeyError* error = nullptr);

  // "TYPE BASE64", the comment left out: Parse takes it back.
  std::string Encode() const override;
  const std::string& type() const { return type_; }
  const std::string& tag() const { return tag_; }
  const std::vector<uint8_t>& blob() const { return blob_; }

 protected:
  SshRecipient(std::string type, std::vector<uint8_t> blob);
  std::string type_;
  std::vector<uint8_t> blob_;
  std::string tag_;
};

// True when `line` starts like an SSH public key line of any type
// ("ssh-...", "ecdsa-sha2-...", "sk-...").
bool LooksLikeSshPublicKey(std::string_view line);
// True when `text` is a PEM private key file ("-----BEGIN ... PRIVATE KEY-----").
bool LooksLikeSshPrivateKey(std::string_view text);

class SshIdentity : public Identity {
 public:
  // Gives the passphrase of a protected key when asked; nullopt when none
  // is given.
  using AskPassphrase = std::function<std::optional<SecretBytes>()>;

  // From the text of a private key file. `public_line` is the text of the
  // key's .pub file, needed only for a protected PEM or PKCS#8 key, which
  // does not show its public key; `ask` is called at most once, the first
  // time a stanza carries this key's tag.
  static std::unique_ptr<SshIdentity> Parse(std::string_view text, std::string_view public_line, AskPassphrase ask,
                                            SshKeyError* error = nullptr);
  ~SshIdentity() override;

  // The recipient of this key (its public half, no passphrase needed).
  std::unique_ptr<SshRecipient> ToRecipient() const;
  // Whether the key is protected and not yet opened.
  bool Locked() const;
  // A locked key that was asked for and not opened says so here.
  SshKeyError UnlockError() const { return unlock_error_; }

  Unwrapped Unwrap(const std::vector<Stanza>& stanzas, SecretBytes& file_key) const override;

 private:
  struct Secret;
  SshIdentity();
  bool Matches(const std::vector<Stanza>& stanzas) const;
  bool Unlock() const;

  std::unique_ptr<SshRecipient> recipient_;
  SecretBytes locked_text_;  // the protected key file's text, while locked
  AskPassphrase ask_;
  mutable std::unique_ptr<Secret> secret_;
  mutable bool asked_ = false;
  mutable SshKeyError unlock_error_ = SshKeyError::kNone;
};

// ParseIdentityFile (keys.h) with what an SSH private key file may need:
// the text of its .pub file and the passphrase of a protected key.
// `ssh_error` tells why an SSH key file was refused.
Result ParseIdentityFile(std::string_view text, std::vector<std::unique_ptr<Identity>>& out,
                         std::string_view ssh_public_key, SshIdentity::AskPassphrase ask,
                         SshKeyError* ssh_error = nullptr);

// Opens a protected OpenSSH private key with libssh (loaded when first
// needed, so that programs without SSH keys never need it), or with the
// system's ssh-keygen where libssh is missing or cannot hand the key over,
// and returns the same key unprotected, as a private key file's text.
SshKeyError UnlockOpenSshKey(std::string_view text, const SecretBytes& passphrase, SecretBytes& plain);

}  // namespace vesk::age
