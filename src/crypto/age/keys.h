// Recipients (who a file is encrypted to) and identities (what opens it)
// for the two native age v1 types: X25519 keys and scrypt passphrases.
//
// A recipient wraps the 16-byte file key into a header stanza; an identity
// looks through a header's stanzas for one it can unwrap.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "crypto/age/header.h"
#include "crypto/age/result.h"
#include "crypto/age/secret.h"

namespace vesk::age {

enum class SshKeyError;  // ssh_keys.h

class Recipient {
 public:
  virtual ~Recipient() = default;
  // Wraps `file_key` into a new stanza; fails only if the system does.
  virtual Result Wrap(const SecretBytes& file_key, Stanza& out) const = 0;
  // Every stanza this recipient wraps the file key into (a plugin may make
  // several), and the labels they carry (none for the native types).
  virtual Result WrapAll(const SecretBytes& file_key, std::vector<Stanza>& out, std::vector<std::string>& labels) const {
    out.resize(1);
    labels.clear();
    return Wrap(file_key, out[0]);
  }
  // Passphrase recipients must be the only stanza in a header.
  virtual bool MustBeAlone() const { return false; }
  // Post-quantum recipients must not share a file with classic ones.
  virtual bool PostQuantum() const { return false; }
  // The recipient as a recipients file holds it ("age1...", "ssh-ed25519
  // AAAA..."); empty for a passphrase.
  virtual std::string Encode() const { return {}; }
};

struct Unwrapped {
  enum class Kind {
    kNotMine,    // no stanza is for this identity
    kFileKey,    // file_key holds the unwrapped key
    kFailed,     // a hard failure: `result` says which
  };
  Kind kind = Kind::kNotMine;
  Result result;
};

class Identity {
 public:
  virtual ~Identity() = default;
  // Looks at every stanza of a header (already checked by CheckStanzas).
  virtual Unwrapped Unwrap(const std::vector<Stanza>& stanzas, SecretBytes& file_key) const = 0;
  virtual bool IsPassphrase() const { return false; }
};

// ---- X25519 ----

class X25519Recipient : public Recipient {
 public:
  explicit X25519Recipient(const std::array<uint8_t, 32>& public_key) : public_key_(public_key) {}
  // "age1..." (lowercase only), or nullopt.
  static std::optional<X25519Recipient> Parse(std::string_view text);
  std::string Encode() const override;
  const std::array<uint8_t, 32>& public_key() const { return public_key_; }
  Result Wrap(const SecretBytes& file_key, Stanza& out) const override;
  bool operator==(const X25519Recipient& o) const { return public_key_ == o.public_key_; }

 private:
  std::array<uint8_t, 32> public_key_;
};

class X25519Identity : public Identity {
 public:
  // A new random identity (nullopt only if the system has no randomness).
  static std::optional<X25519Identity> Generate();
  // "AGE-SECRET-KEY-1..." (uppercase only), or nullopt.
  static std::optional<X25519Identity> Parse(std::string_view text);
  // From the 32 secret bytes. Should libcrypto fail, the identity opens
  // nothing and its recipient (all zeros) is refused by every encryption.
  static X25519Identity FromSecret(const SecretBytes& secret);

  // The "AGE-SECRET-KEY-1..." text, held as a secret.
  SecretBytes Encode() const;
  X25519Recipient ToRecipient() const;
  Unwrapped Unwrap(const std::vector<Stanza>& stanzas, SecretBytes& file_key) const override;

 private:
  X25519Identity() = default;
  // The identity of 32 secret bytes, or nullopt if libcrypto fails.
  static std::optional<X25519Identity> Make(const SecretBytes& secret);
  SecretBytes secret_;
  std::array<uint8_t, 32> public_key_ {};
};

// ---- scrypt ----

inline constexpr int kDefaultScryptLogN = 18;
inline constexpr int kDefaultMaxScryptLogN = 22;
inline constexpr int kMaxScryptLogN = 30;

class ScryptRecipient : public Recipient {
 public:
  // `log_n` is the base-2 logarithm of the work factor (1..30).
  explicit ScryptRecipient(SecretBytes passphrase, int log_n = kDefaultScryptLogN)
      : passphrase_(std::move(passphrase)), log_n_(log_n) {}
  Result Wrap(const SecretBytes& file_key, Stanza& out) const override;
  bool MustBeAlone() const override { return true; }

 private:
  SecretBytes passphrase_;
  int log_n_;
};

class ScryptIdentity : public Identity {
 public:
  // Files whose work factor exceeds 2^max_log_n are refused (kWorkFactorTooHigh).
  explicit ScryptIdentity(SecretBytes passphrase, int max_log_n = kDefaultMaxScryptLogN)
      : passphrase_(std::move(passphrase)), max_log_n_(max_log_n) {}
  Unwrapped Unwrap(const std::vector<Stanza>& stanzas, SecretBytes& file_key) const override;
  bool IsPassphrase() const override { return true; }

 private:
  SecretBytes passphrase_;
  int max_log_n_;
};

// Checks the stanzas of the types above as a reader must, before any
// unwrapping: argument counts, canonical base64 of the right sizes, the
// scrypt work factor's digits, 32-byte bodies, and that an scrypt stanza
// is the only one. Unknown types pass untouched. Fails with kHeaderInvalid.
Result CheckStanzas(const std::vector<Stanza>& stanzas);

// ---- key files ----

// The text age-keygen writes for `identity`:
//   # created: 2006-01-02T15:04:05+07:00
//   # public key: age1...
//   AGE-SECRET-KEY-1...
SecretBytes KeyFileText(const X25519Identity& identity, std::time_t created);
// The same text for any key type: its recipient and its secret key text.
SecretBytes KeyFileTextFor(std::string_view recipient, const SecretBytes& identity, std::time_t created);

// Reads an identity file: one identity per line, '#' comment lines and
// empty lines skipped, LF or CRLF line ends. Errors name the line number
// but never echo its content (it may be secret). kBadKey on failure.
Result ParseIdentityFile(std::string_view text, std::vector<X25519Identity>& out);
// The same layout with one "age1..." recipient per line.
Result ParseRecipientFile(std::string_view text, std::vector<X25519Recipient>& out);

// The same files with every key type: X25519, the post-quantum hybrid
// ("AGE-SECRET-KEY-PQ-1...", "age1pq1...", hybrid_keys.h) and SSH keys
// (ssh_keys.h): an identity file may be one SSH private key file (without
// its .pub file and passphrase: see the overload in ssh_keys.h), a
// recipients file may hold authorized_keys lines ("ssh-ed25519 AAAA...
// comment"); SSH keys of a type age has no stanza for are skipped there.
Result ParseIdentityFile(std::string_view text, std::vector<std::unique_ptr<Identity>>& out);
Result ParseRecipientFile(std::string_view text, std::vector<std::unique_ptr<Recipient>>& out);
// One recipient of any type as given on a command line or in a recipients
// file, or null with `why` (kBadKey) set.
// `ssh` (when given) tells why an SSH key was refused.
std::unique_ptr<Recipient> ParseRecipient(std::string_view line, Result* why = nullptr, SshKeyError* ssh = nullptr);
// The end of the detail of a recipient refused for an RSA key below 2048 bits.
inline constexpr std::string_view kRsaTooSmallDetail = "RSA key size is too small";

}  // namespace vesk::age
