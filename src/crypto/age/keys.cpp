#include "crypto/age/keys.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/kdf.h>

#include <cstring>

#include "crypto/age/aead.h"
#include "crypto/age/encoding.h"
#include "crypto/age/hybrid_keys.h"
#include "crypto/age/kdf.h"
#include "crypto/age/ssh_keys.h"
#include "crypto/age/x25519.h"

namespace vesk::age {
namespace {

constexpr std::string_view kX25519Type = "X25519";
constexpr std::string_view kX25519Label = "age-encryption.org/v1/X25519";
constexpr std::string_view kScryptType = "scrypt";
constexpr std::string_view kScryptLabel = "age-encryption.org/v1/scrypt";
constexpr std::string_view kIdentityHrp = "AGE-SECRET-KEY-";
constexpr std::string_view kRecipientHrp = "age";
constexpr uint8_t kZeroNonce[kAeadNonceSize] = {};

Result InternalError(const char* what) { return Result::Fail(Status::kInternalError, what); }

// The scrypt work factor as written: digits without a leading zero. Returns
// the value (capped at 1000, above any sensible limit) or -1.
int ParseLogN(std::string_view text) {
  if (text.empty() || text[0] < '1' || text[0] > '9') return -1;
  int value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return -1;
    value = std::min(1000, value * 10 + (c - '0'));
  }
  return value;
}

Result ScryptKey(const SecretBytes& passphrase, const std::vector<uint8_t>& salt, int log_n, uint8_t out[32]) {
  std::vector<uint8_t> full_salt(kScryptLabel.begin(), kScryptLabel.end());
  full_salt.insert(full_salt.end(), salt.begin(), salt.end());
  static const char kNothing = 0;
  constexpr uint64_t r = 8, p = 1;
  const uint64_t n = uint64_t {1} << log_n;
  // scrypt needs 128 * r * (N + 2) bytes for its table and 128 * r * p for
  // its blocks; allow exactly that (plus a page), since libcrypto's own
  // default limit (32 MiB) is below age's usual work factor.
  const uint64_t max_memory = 128 * r * (n + 2) + 128 * r * p + 4096;
  if (EVP_PBE_scrypt(passphrase.empty() ? &kNothing : reinterpret_cast<const char*>(passphrase.data()),
                     passphrase.size(), full_salt.data(), full_salt.size(), n, r, p, max_memory, out, 32) != 1) {
    OPENSSL_cleanse(out, 32);
    return Result::Fail(Status::kInternalError, "scrypt failed (not enough memory for the work factor?)");
  }
  return Result::Ok();
}

Result Invalid(std::string text) { return Result::Fail(Status::kHeaderInvalid, std::move(text)); }

bool DecodesTo(std::string_view text, std::size_t size) {
  std::vector<uint8_t> bytes;
  return DecodeBase64Raw(text, bytes) && bytes.size() == size;
}

}  // namespace

bool SealFileKey(const SecretBytes& file_key, const uint8_t wrap_key[32], std::vector<uint8_t>& body) {
  body.assign(kWrappedKeySize, 0);
  ChaChaPoly aead;
  return aead.Seal(wrap_key, kZeroNonce, file_key.data(), file_key.size(), body.data(), body.data() + kFileKeySize);
}

OpenedKey OpenFileKey(const std::vector<uint8_t>& body, const uint8_t wrap_key[32], SecretBytes& file_key) {
  if (body.size() != kWrappedKeySize) return OpenedKey::kWrongKey;
  SecretBytes key(kFileKeySize);
  ChaChaPoly aead;
  switch (aead.Open(wrap_key, kZeroNonce, body.data(), kFileKeySize, body.data() + kFileKeySize, key.data())) {
    case ChaChaPoly::Opened::kOk: file_key = std::move(key); return OpenedKey::kOk;
    case ChaChaPoly::Opened::kForged: return OpenedKey::kWrongKey;
    case ChaChaPoly::Opened::kFailed: break;
  }
  return OpenedKey::kFailed;
}

bool X25519PublicKey(const uint8_t secret[32], uint8_t out[32]) {
  EVP_PKEY* key = EVP_PKEY_new_raw_private_key(EVP_PKEY_X25519, nullptr, secret, 32);
  std::size_t len = 32;
  const bool ok = key != nullptr && EVP_PKEY_get_raw_public_key(key, out, &len) == 1 && len == 32;
  EVP_PKEY_free(key);  // wipes its copy of the secret
  return ok;
}

Shared X25519SharedSecret(const uint8_t secret[32], const uint8_t point[32], uint8_t out[32]) {
  EVP_PKEY* own = EVP_PKEY_new_raw_private_key(EVP_PKEY_X25519, nullptr, secret, 32);
  EVP_PKEY* peer = EVP_PKEY_new_raw_public_key(EVP_PKEY_X25519, nullptr, point, 32);
  EVP_PKEY_CTX* ctx = own != nullptr ? EVP_PKEY_CTX_new_from_pkey(nullptr, own, nullptr) : nullptr;
  Shared result = Shared::kFailed;
  // The peer is not validated here: the zero check below is the one that matters.
  if (peer != nullptr && ctx != nullptr && EVP_PKEY_derive_init(ctx) == 1 &&
      EVP_PKEY_derive_set_peer_ex(ctx, peer, 0) == 1) {
    static const uint8_t kZeros[32] = {};
    std::size_t len = 32;
    // libcrypto itself refuses an all-zero result, and has nothing else
    // left to fail on at this point.
    if (EVP_PKEY_derive(ctx, out, &len) != 1 || len != 32 || CRYPTO_memcmp(out, kZeros, 32) == 0)
      result = Shared::kLowOrder;
    else
      result = Shared::kOk;
  }
  EVP_PKEY_CTX_free(ctx);
  EVP_PKEY_free(peer);
  EVP_PKEY_free(own);
  if (result != Shared::kOk) OPENSSL_cleanse(out, 32);
  return result;
}

// ---- X25519 ----

std::optional<X25519Recipient> X25519Recipient::Parse(std::string_view text) {
  std::string hrp;
  std::vector<uint8_t> data;
  if (!Bech32Decode(text, hrp, data) || hrp != kRecipientHrp || data.size() != 32) return std::nullopt;
  std::array<uint8_t, 32> key {};
  std::copy(data.begin(), data.end(), key.begin());
  return X25519Recipient(key);
}

std::string X25519Recipient::Encode() const { return Bech32Encode(kRecipientHrp, public_key_); }

Result X25519Recipient::Wrap(const SecretBytes& file_key, Stanza& out) const {
  if (!CryptoReady()) return InternalError("OpenSSL's libcrypto lacks an algorithm age needs");
  SecretBytes ephemeral(32);
  if (!RandomBytes(ephemeral.data(), ephemeral.size())) return InternalError("the system has no random bytes");
  std::vector<uint8_t> salt(64);
  if (!X25519PublicKey(ephemeral.data(), salt.data())) return InternalError("X25519 failed");
  SecretBytes shared(32);
  switch (X25519SharedSecret(ephemeral.data(), public_key_.data(), shared.data())) {
    case Shared::kOk: break;
    case Shared::kLowOrder:
      return Result::Fail(Status::kInvalidArgument, "the X25519 recipient is not a usable public key");
    case Shared::kFailed: return InternalError("X25519 failed");
  }
  std::copy(public_key_.begin(), public_key_.end(), salt.begin() + 32);
  uint8_t wrap_key[32];
  if (!HkdfSha256(shared.span(), salt, kX25519Label, wrap_key)) return InternalError("HKDF failed");
  Stanza stanza;
  stanza.type = kX25519Type;
  stanza.args.push_back(EncodeBase64Raw(std::span(salt).first(32)));
  const bool sealed = SealFileKey(file_key, wrap_key, stanza.body);
  Wipe(wrap_key, sizeof wrap_key);
  if (!sealed) return InternalError("ChaCha20-Poly1305 failed");
  out = std::move(stanza);
  return Result::Ok();
}

std::optional<X25519Identity> X25519Identity::Make(const SecretBytes& secret) {
  if (!CryptoReady() || secret.size() != 32) return std::nullopt;
  X25519Identity id;
  id.secret_ = secret.Clone();
  if (!X25519PublicKey(id.secret_.data(), id.public_key_.data())) return std::nullopt;
  return id;
}

std::optional<X25519Identity> X25519Identity::Generate() {
  SecretBytes secret(32);
  if (!RandomBytes(secret.data(), secret.size())) return std::nullopt;
  return Make(secret);
}

X25519Identity X25519Identity::FromSecret(const SecretBytes& secret) {
  if (std::optional<X25519Identity> id = Make(secret)) return std::move(*id);
  // libcrypto failed: an identity that opens nothing and whose recipient
  // (all zeros) every encryption refuses.
  X25519Identity id;
  id.secret_ = secret.Clone();
  return id;
}

std::optional<X25519Identity> X25519Identity::Parse(std::string_view text) {
  std::string hrp;
  std::vector<uint8_t> data;
  const bool ok = Bech32Decode(text, hrp, data) && hrp == kIdentityHrp && data.size() == 32;
  std::optional<X25519Identity> id;
  if (ok) id = Make(SecretBytes(data.data(), data.size()));
  Wipe(data.data(), data.size());
  return id;
}

SecretBytes X25519Identity::Encode() const {
  std::string text = Bech32Encode(kIdentityHrp, secret_.span());
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  SecretBytes out = SecretBytes::FromString(text);
  Wipe(text.data(), text.size());
  return out;
}

X25519Recipient X25519Identity::ToRecipient() const { return X25519Recipient(public_key_); }

Unwrapped X25519Identity::Unwrap(const std::vector<Stanza>& stanzas, SecretBytes& file_key) const {
  auto failed = [](Result r) { return Unwrapped {Unwrapped::Kind::kFailed, std::move(r)}; };
  if (secret_.size() != 32) return {};  // FromSecret was given the wrong number of bytes
  for (const Stanza& s : stanzas) {
    if (s.type != kX25519Type || s.args.size() != 1) continue;
    std::vector<uint8_t> salt;
    if (!DecodeBase64Raw(s.args[0], salt) || salt.size() != 32) continue;
    SecretBytes shared(32);
    switch (X25519SharedSecret(secret_.data(), salt.data(), shared.data())) {
      case Shared::kOk: break;
      // The share is a low-order point: the file must be rejected.
      case Shared::kLowOrder: return failed(Invalid("an X25519 stanza has a low-order share"));
      case Shared::kFailed: return failed(InternalError("X25519 failed"));
    }
    salt.insert(salt.end(), public_key_.begin(), public_key_.end());
    uint8_t wrap_key[32];
    if (!HkdfSha256(shared.span(), salt, kX25519Label, wrap_key)) return failed(InternalError("HKDF failed"));
    const OpenedKey opened = OpenFileKey(s.body, wrap_key, file_key);
    Wipe(wrap_key, sizeof wrap_key);
    if (opened == OpenedKey::kOk) return {Unwrapped::Kind::kFileKey, Result::Ok()};
    if (opened == OpenedKey::kFailed) return failed(InternalError("ChaCha20-Poly1305 failed"));
  }
  return {};
}

// ---- scrypt ----

Result ScryptRecipient::Wrap(const SecretBytes& file_key, Stanza& out) const {
  if (!CryptoReady()) return InternalError("OpenSSL's libcrypto lacks an algorithm age needs");
  if (log_n_ < 1 || log_n_ > kMaxScryptLogN)
    return Result::Fail(Status::kInvalidArgument, "the scrypt work factor must be between 2^1 and 2^30");
  std::vector<uint8_t> salt(16);
  if (!RandomBytes(salt.data(), salt.size())) return InternalError("the system has no random bytes");
  uint8_t wrap_key[32];
  if (Result r = ScryptKey(passphrase_, salt, log_n_, wrap_key); !r.ok()) return r;
  Stanza stanza;
  stanza.type = kScryptType;
  stanza.args = {EncodeBase64Raw(salt), std::to_string(log_n_)};
  const bool sealed = SealFileKey(file_key, wrap_key, stanza.body);
  Wipe(wrap_key, sizeof wrap_key);
  if (!sealed) return InternalError("ChaCha20-Poly1305 failed");
  out = std::move(stanza);
  return Result::Ok();
}

Unwrapped ScryptIdentity::Unwrap(const std::vector<Stanza>& stanzas, SecretBytes& file_key) const {
  for (const Stanza& s : stanzas) {
    if (s.type != kScryptType || s.args.size() != 2) continue;
    std::vector<uint8_t> salt;
    const int log_n = ParseLogN(s.args[1]);
    if (!DecodeBase64Raw(s.args[0], salt) || salt.size() != 16 || log_n < 1) continue;
    const int limit = std::min(max_log_n_, kMaxScryptLogN);
    if (log_n > limit)
      return {Unwrapped::Kind::kFailed,
              Result::Fail(Status::kWorkFactorTooHigh, "the scrypt work factor 2^" + std::to_string(log_n) +
                                                           " is above the limit of 2^" + std::to_string(limit))};
    uint8_t wrap_key[32];
    if (Result r = ScryptKey(passphrase_, salt, log_n, wrap_key); !r.ok()) return {Unwrapped::Kind::kFailed, r};
    const OpenedKey opened = OpenFileKey(s.body, wrap_key, file_key);
    Wipe(wrap_key, sizeof wrap_key);
    if (opened == OpenedKey::kOk) return {Unwrapped::Kind::kFileKey, Result::Ok()};
    if (opened == OpenedKey::kFailed)
      return {Unwrapped::Kind::kFailed, InternalError("ChaCha20-Poly1305 failed")};
    return {Unwrapped::Kind::kFailed, Result::Fail(Status::kWrongPassphrase, "the passphrase is wrong")};
  }
  return {};
}

Result CheckStanzas(const std::vector<Stanza>& stanzas) {
  for (const Stanza& s : stanzas) {
    if (s.type == kScryptType && stanzas.size() != 1)
      return Invalid("an scrypt stanza must be the only stanza in the header");
  }
  for (const Stanza& s : stanzas) {
    if (s.type == kX25519Type) {
      if (s.args.size() != 1) return Invalid("an X25519 stanza has the wrong number of arguments");
      if (!DecodesTo(s.args[0], 32)) return Invalid("an X25519 stanza's share is not 32 bytes of canonical base64");
      if (s.body.size() != kWrappedKeySize) return Invalid("an X25519 stanza's body is not 32 bytes");
    } else if (s.type == kScryptType) {
      if (s.args.size() != 2) return Invalid("an scrypt stanza has the wrong number of arguments");
      if (!DecodesTo(s.args[0], 16)) return Invalid("an scrypt stanza's salt is not 16 bytes of canonical base64");
      if (ParseLogN(s.args[1]) < 1) return Invalid("an scrypt stanza's work factor is malformed");
      if (s.body.size() != kWrappedKeySize) return Invalid("an scrypt stanza's body is not 32 bytes");
    } else if (s.type == kHybridStanzaType) {
      if (Result r = CheckHybridStanza(s); !r.ok()) return r;
    }
  }
  return Result::Ok();
}

// ---- key files ----

SecretBytes KeyFileText(const X25519Identity& identity, std::time_t created) {
  return KeyFileTextFor(identity.ToRecipient().Encode(), identity.Encode(), created);
}

SecretBytes KeyFileTextFor(std::string_view recipient, const SecretBytes& key, std::time_t created) {
  std::tm tm {};
  ::localtime_r(&created, &tm);
  char when[64];
  std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%S", &tm);
  std::string zone = "Z";
  if (tm.tm_gmtoff != 0) {
    const int off = static_cast<int>(std::min<long>(tm.tm_gmtoff < 0 ? -tm.tm_gmtoff : tm.tm_gmtoff, 99 * 3600));
    char buf[32];
    std::snprintf(buf, sizeof buf, "%c%02d:%02d", tm.tm_gmtoff < 0 ? '-' : '+', off / 3600, off % 3600 / 60);
    zone = buf;
  }
  const std::string head = std::string("# created: ") + when + zone + "\n# public key: " + std::string(recipient) + "\n";
  SecretBytes out(head.size() + key.size() + 1);
  std::memcpy(out.data(), head.data(), head.size());
  std::memcpy(out.data() + head.size(), key.data(), key.size());
  out.data()[out.size() - 1] = '\n';
  return out;
}

namespace {

// Calls `line_fn(number, line)` for every line that is not blank or a
// comment; stops at the first failure it returns.
template <typename LineFn>
Result ForEachKeyLine(std::string_view text, LineFn&& line_fn) {
  std::size_t at = 0;
  for (int number = 1; at < text.size(); ++number) {
    std::size_t nl = text.find('\n', at);
    if (nl == std::string_view::npos) nl = text.size();
    std::string_view line = text.substr(at, nl - at);
    at = nl + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    if (Result r = line_fn(number, line); !r.ok()) return r;
  }
  return Result::Ok();
}

Result BadLine(int number, const std::string& what) {
  return Result::Fail(Status::kBadKey, "line " + std::to_string(number) + ": " + what);
}

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

}  // namespace

Result ParseIdentityFile(std::string_view text, std::vector<X25519Identity>& out) {
  out.clear();
  if (StartsWith(text, "age-encryption.org/") || text.find("-----BEGIN AGE ENCRYPTED FILE-----") == 0)
    return Result::Fail(Status::kBadKey, "the identity file is itself encrypted; decrypt it first");
  Result r = ForEachKeyLine(text, [&](int number, std::string_view line) {
    if (StartsWith(line, "AGE-SECRET-KEY-1")) {
      std::optional<X25519Identity> id = X25519Identity::Parse(line);
      if (!id) return BadLine(number, "malformed secret key");
      out.push_back(std::move(*id));
      return Result::Ok();
    }
    if (StartsWith(line, "AGE-PLUGIN-")) return BadLine(number, "plugin identities are not supported");
    if (StartsWith(line, "-----BEGIN")) return BadLine(number, "SSH and other PEM keys are not supported");
    return BadLine(number, "not an age identity");
  });
  if (r.ok() && out.empty()) r = Result::Fail(Status::kBadKey, "no identities in the file");
  if (!r.ok()) out.clear();
  return r;
}

Result ParseRecipientFile(std::string_view text, std::vector<X25519Recipient>& out) {
  out.clear();
  Result r = ForEachKeyLine(text, [&](int number, std::string_view line) {
    if (std::optional<X25519Recipient> rec = X25519Recipient::Parse(line)) {
      out.push_back(*rec);
      return Result::Ok();
    }
    if (StartsWith(line, "ssh-")) return BadLine(number, "SSH keys are not supported");
    // Bech32 data never contains '1': a later one means a plugin's "age1name1..." form.
    if (StartsWith(line, "age1") && line.rfind('1') > 3) return BadLine(number, "plugin recipients are not supported");
    return BadLine(number, "malformed recipient");
  });
  if (r.ok() && out.empty()) r = Result::Fail(Status::kBadKey, "no recipients in the file");
  if (!r.ok()) out.clear();
  return r;
}

Result ParseIdentityFile(std::string_view text, std::vector<std::unique_ptr<Identity>>& out) {
  return ParseIdentityFile(text, out, {}, nullptr);
}

Result ParseIdentityFile(std::string_view text, std::vector<std::unique_ptr<Identity>>& out,
                         std::string_view ssh_public_key, SshIdentity::AskPassphrase ask, SshKeyError* ssh_error) {
  out.clear();
  if (ssh_error != nullptr) *ssh_error = SshKeyError::kNone;
  std::vector<X25519Identity> classic;
  if (StartsWith(text, "age-encryption.org/") || text.find("-----BEGIN AGE ENCRYPTED FILE-----") == 0)
    return ParseIdentityFile(text, classic);  // its refusal of encrypted identity files
  // An SSH private key file is one identity as a whole.
  if (LooksLikeSshPrivateKey(text)) {
    SshKeyError why = SshKeyError::kNone;
    std::unique_ptr<SshIdentity> id = SshIdentity::Parse(text, ssh_public_key, std::move(ask), &why);
    if (ssh_error != nullptr) *ssh_error = why;
    if (!id) return Result::Fail(Status::kBadKey, "the SSH private key cannot be used");
    out.push_back(std::move(id));
    return Result::Ok();
  }
  Result r = ForEachKeyLine(text, [&](int number, std::string_view line) {
    if (StartsWith(line, "AGE-SECRET-KEY-PQ-1")) {
      std::optional<HybridIdentity> id = HybridIdentity::Parse(line);
      if (!id) return BadLine(number, "malformed secret key");
      out.push_back(std::make_unique<HybridIdentity>(std::move(*id)));
      return Result::Ok();
    }
    if (StartsWith(line, "AGE-SECRET-KEY-1")) {
      std::optional<X25519Identity> id = X25519Identity::Parse(line);
      if (!id) return BadLine(number, "malformed secret key");
      out.push_back(std::make_unique<X25519Identity>(std::move(*id)));
      return Result::Ok();
    }
    // Every other line is refused as the X25519 parser refuses it.
    Result other = ParseIdentityFile(line, classic);
    return BadLine(number, other.detail.substr(other.detail.find(": ") + 2));
  });
  if (r.ok() && out.empty()) r = Result::Fail(Status::kBadKey, "no identities in the file");
  if (!r.ok()) out.clear();
  return r;
}

std::unique_ptr<Recipient> ParseRecipient(std::string_view line, Result* why, SshKeyError* ssh) {
  auto refuse = [why](std::string text) {
    if (why != nullptr) *why = Result::Fail(Status::kBadKey, std::move(text));
    return std::unique_ptr<Recipient>();
  };
  if (why != nullptr) *why = Result::Ok();
  if (StartsWith(line, "age1pq1")) {
    std::optional<HybridRecipient> rec = HybridRecipient::Parse(line);
    if (!rec) return refuse("malformed recipient");
    return std::make_unique<HybridRecipient>(std::move(*rec));
  }
  if (LooksLikeSshPublicKey(line)) {
    SshKeyError error = SshKeyError::kNone;
    std::unique_ptr<SshRecipient> rec = SshRecipient::Parse(line, &error);
    if (ssh != nullptr) *ssh = error;
    if (rec) return rec;
    if (error == SshKeyError::kUnsupportedType) return refuse("unsupported SSH key type");
    if (error == SshKeyError::kRsaTooSmall) return refuse(std::string(kRsaTooSmallDetail));
    return refuse("malformed SSH key");
  }
  std::vector<X25519Recipient> classic;
  Result one = ParseRecipientFile(line, classic);
  if (!one.ok()) return refuse(one.detail.substr(one.detail.find(": ") + 2));
  return std::make_unique<X25519Recipient>(classic[0]);
}

Result ParseRecipientFile(std::string_view text, std::vector<std::unique_ptr<Recipient>>& out) {
  out.clear();
  Result r = ForEachKeyLine(text, [&](int number, std::string_view line) {
    Result why;
    std::unique_ptr<Recipient> rec = ParseRecipient(line, &why);
    if (rec) {
      out.push_back(std::move(rec));
      return Result::Ok();
    }
    // A list of someone's SSH keys may hold keys of other types: skipped.
    SshKeyError error = SshKeyError::kNone;
    if (LooksLikeSshPublicKey(line) && !SshRecipient::Parse(line, &error) && error == SshKeyError::kUnsupportedType)
      return Result::Ok();
    return BadLine(number, why.detail);
  });
  if (r.ok() && out.empty()) r = Result::Fail(Status::kBadKey, "no recipients in the file");
  if (!r.ok()) out.clear();
  return r;
}

}  // namespace vesk::age
