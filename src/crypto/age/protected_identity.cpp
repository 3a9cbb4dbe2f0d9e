#include "crypto/age/protected_identity.h"

#include <atomic>
#include <string>

#include "crypto/age/age.h"
#include "crypto/age/armor.h"

namespace vesk::age {

ProtectedIdentityFile::ProtectedIdentityFile(SecretBytes contents, AskPassphrase ask, int max_log_n)
    : contents_(std::move(contents)), ask_(std::move(ask)), max_log_n_(max_log_n) {}

bool ProtectedIdentityFile::Is(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  return text.starts_with("age-encryption.org/") ||
         (first != std::string_view::npos && text.substr(first).starts_with(kArmorBegin));
}

Result ProtectedIdentityFile::Open() const {
  if (opened_) return *opened_;
  std::optional<SecretBytes> passphrase = ask_ ? ask_() : std::nullopt;
  if (!passphrase) {
    opened_ = Result::Fail(Status::kKeyLocked, "no passphrase for the protected identity file");
    return *opened_;
  }
  const ScryptIdentity scrypt(std::move(*passphrase), max_log_n_);
  // The plaintext is shorter than the file: reserved once, it never moves,
  // so the one buffer to wipe is this one.
  std::string plain;
  plain.reserve(contents_.size());
  CallbackSink sink([&plain](const uint8_t* data, std::size_t n) {
    if (plain.size() + n > plain.capacity()) return false;
    plain.append(reinterpret_cast<const char*>(data), n);
    return true;
  });
  MemorySource source(contents_.span());
  const std::atomic<bool> stop{false};
  DecryptOptions options;
  options.threads = 1;
  Result r = Decrypt({&scrypt}, source, sink, options, stop);
  if (r.status == Status::kWrongPassphrase || r.status == Status::kNoMatchingIdentity) {
    r = Result::Fail(Status::kKeyLocked, "the passphrase does not open the protected identity file");
  } else if (r.ok()) {
    // What it holds is read as any identity file, except another protected one.
    if (Is(plain)) {
      r = Result::Fail(Status::kBadKey, "the protected identity file holds another encrypted file");
    } else {
      r = ParseIdentityFile(plain, identities_);
    }
  }
  plain.resize(plain.capacity());
  Wipe(plain.data(), plain.size());
  opened_ = r;
  return r;
}

Unwrapped ProtectedIdentityFile::Unwrap(const std::vector<Stanza>& stanzas, SecretBytes& file_key) const {
  if (Result r = Open(); !r.ok()) return {Unwrapped::Kind::kFailed, r};
  for (const auto& id : identities_) {
    Unwrapped u = id->Unwrap(stanzas, file_key);
    if (u.kind != Unwrapped::Kind::kNotMine) return u;
  }
  return {};
}

}  // namespace vesk::age
