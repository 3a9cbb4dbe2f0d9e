// The post-quantum hybrid recipient type of age: MLKEM768-X25519 keys and
// the "mlkem768x25519" stanza (HPKE SealBase of the file key).
//
//   identity   AGE-SECRET-KEY-PQ-1... (Bech32 of a 32-byte seed, uppercase only)
//   recipient  age1pq1...             (Bech32 of the 1216-byte public key, lowercase only)
//   stanza     -> mlkem768x25519 <base64 of the 1120-byte encapsulated key>
//              <base64 of the 32-byte sealed file key>
//
// A file encrypted to these recipients must not also be encrypted to
// classic ones (Encrypt refuses the mix; see CheckRecipientMix).
#pragma once

#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "crypto/age/keys.h"
#include "crypto/pq/mlkem768x25519.h"

namespace vesk::age {

inline constexpr std::string_view kHybridStanzaType = "mlkem768x25519";

class HybridRecipient : public Recipient {
 public:
  // "age1pq1..." (lowercase only) of a public key that passes its checks,
  // or nullopt.
  static std::optional<HybridRecipient> Parse(std::string_view text);
  std::string Encode() const override;
  const std::vector<uint8_t>& public_key() const { return public_key_; }
  Result Wrap(const SecretBytes& file_key, Stanza& out) const override;
  bool PostQuantum() const override { return true; }
  bool operator==(const HybridRecipient& o) const { return public_key_ == o.public_key_; }

 private:
  friend class HybridIdentity;
  explicit HybridRecipient(std::vector<uint8_t> public_key) : public_key_(std::move(public_key)) {}
  std::vector<uint8_t> public_key_;  // kHybridPublicKeySize bytes
};

class HybridIdentity : public Identity {
 public:
  // A new random identity (nullopt only if the system has no randomness
  // or libcrypto fails).
  static std::optional<HybridIdentity> Generate();
  // "AGE-SECRET-KEY-PQ-1..." (uppercase only), or nullopt.
  static std::optional<HybridIdentity> Parse(std::string_view text);
  // From the 32-byte seed; nullopt for another size or if libcrypto fails.
  static std::optional<HybridIdentity> FromSecret(const SecretBytes& seed);

  // The "AGE-SECRET-KEY-PQ-1..." text, held as a secret.
  SecretBytes Encode() const;
  HybridRecipient ToRecipient() const;
  Unwrapped Unwrap(const std::vector<Stanza>& stanzas, SecretBytes& file_key) const override;

 private:
  HybridIdentity() = default;
  SecretBytes seed_;
  std::unique_ptr<pq::MlKem768X25519PrivateKey> key_;
};

// The reader's checks of one mlkem768x25519 stanza, before any unwrapping:
// exactly one argument after the type, the canonical base64 of 1120 bytes,
// and a 32-byte body. kHeaderInvalid otherwise.
Result CheckHybridStanza(const Stanza& stanza);

// The key file text for `identity`, as for X25519 identities:
//   # created: 2006-01-02T15:04:05+07:00
//   # public key: age1pq1...
//   AGE-SECRET-KEY-PQ-1...
SecretBytes KeyFileText(const HybridIdentity& identity, std::time_t created);

}  // namespace vesk::age
