// An identity file that is itself an age file encrypted to a passphrase
// (what "age-keygen | age -p > key.age" makes): it is opened in memory when
// first needed, its passphrase asked for once and the scrypt work-factor
// limit applied, and its identities (X25519, post-quantum) then serve as
// if they had been given directly.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "crypto/age/keys.h"

namespace vesk::age {

class ProtectedIdentityFile : public Identity {
 public:
  using AskPassphrase = std::function<std::optional<SecretBytes>()>;

  // `contents` is the whole file (binary or armored).
  ProtectedIdentityFile(SecretBytes contents, AskPassphrase ask, int max_log_n = kDefaultMaxScryptLogN);
  // Whether a key file's text is an age file (binary or armored).
  static bool Is(std::string_view text);

  // Opens the file if not yet done: asks for the passphrase (once; a second
  // call returns the first one's outcome), decrypts and reads the
  // identities. kKeyLocked when no passphrase was given or it is wrong,
  // kWorkFactorTooHigh, kBadKey when the plaintext is no identity file.
  Result Open() const;
  // Whether Open was called (the passphrase asked for).
  bool Tried() const { return opened_.has_value(); }
  // Its identities, once opened.
  const std::vector<std::unique_ptr<Identity>>& identities() const { return identities_; }

  // Opens the file first (see Open; a failure is a hard one), then tries
  // each of its identities.
  Unwrapped Unwrap(const std::vector<Stanza>& stanzas, SecretBytes& file_key) const override;

 private:
  SecretBytes contents_;
  AskPassphrase ask_;
  int max_log_n_;
  mutable std::optional<Result> opened_;
  mutable std::vector<std::unique_ptr<Identity>> identities_;
};

}  // namespace vesk::age
