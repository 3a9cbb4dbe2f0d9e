#include "crypto/age/hybrid_keys.h"

#include "crypto/age/aead.h"
#include "crypto/age/encoding.h"
#include "crypto/age/hpke.h"

namespace vesk::age {
namespace {

constexpr std::string_view kLabel = "age-encryption.org/mlkem768x25519";
constexpr std::string_view kIdentityHrp = "AGE-SECRET-KEY-PQ-";
constexpr std::string_view kRecipientHrp = "age1pq";
constexpr std::size_t kBodySize = kFileKeySize + kAeadTagSize;

Result InternalError(const char* what) { return Result::Fail(Status::kInternalError, what); }
Result Invalid(const char* what) { return Result::Fail(Status::kHeaderInvalid, what); }

std::span<const uint8_t, pq::kHybridPublicKeySize> PublicKeySpan(const std::vector<uint8_t>& key) {
  return std::span<const uint8_t, pq::kHybridPublicKeySize>(key.data(), pq::kHybridPublicKeySize);
}

}  // namespace

// ---- recipient ----

std::optional<HybridRecipient> HybridRecipient::Parse(std::string_view text) {
  std::string hrp;
  std::vector<uint8_t> data;
  if (!Bech32Decode(text, hrp, data) || hrp != kRecipientHrp || data.size() != pq::kHybridPublicKeySize ||
      !pq::MlKem768X25519CheckPublicKey(PublicKeySpan(data)))
    return std::nullopt;
  return HybridRecipient(std::move(data));
}

std::string HybridRecipient::Encode() const { return Bech32Encode(kRecipientHrp, public_key_); }

Result HybridRecipient::Wrap(const SecretBytes& file_key, Stanza& out) const {
  if (!CryptoReady()) return InternalError("OpenSSL's libcrypto lacks an algorithm age needs");
  if (public_key_.size() != pq::kHybridPublicKeySize)
    return Result::Fail(Status::kInvalidArgument, "the post-quantum recipient is not a usable public key");
  Stanza stanza;
  std::vector<uint8_t> enc;
  switch (HpkeSeal(PublicKeySpan(public_key_), kLabel, file_key.span(), enc, stanza.body)) {
    case HpkeStatus::kOk: break;
    case HpkeStatus::kInvalidKey:
      return Result::Fail(Status::kInvalidArgument, "the post-quantum recipient is not a usable public key");
    case HpkeStatus::kForged:
    case HpkeStatus::kFailed: return InternalError("HPKE failed");
  }
  stanza.type = kHybridStanzaType;
  stanza.args.push_back(EncodeBase64Raw(enc));
  out = std::move(stanza);
  return Result::Ok();
}

// ---- identity ----

std::optional<HybridIdentity> HybridIdentity::FromSecret(const SecretBytes& seed) {
  if (seed.size() != pq::kHybridSeedSize) return std::nullopt;
  HybridIdentity id;
  id.seed_ = seed.Clone();
  id.key_ = pq::MlKem768X25519PrivateKey::FromSeed(std::span<const uint8_t, pq::kHybridSeedSize>(seed.data(), seed.size()));
  if (id.key_ == nullptr) return std::nullopt;
  return id;
}

std::optional<HybridIdentity> HybridIdentity::Generate() {
  SecretBytes seed(pq::kHybridSeedSize);
  if (!RandomBytes(seed.data(), seed.size())) return std::nullopt;
  return FromSecret(seed);
}

std::optional<HybridIdentity> HybridIdentity::Parse(std::string_view text) {
  std::string hrp;
  std::vector<uint8_t> data;
  const bool ok = Bech32Decode(text, hrp, data) && hrp == kIdentityHrp && data.size() == pq::kHybridSeedSize;
  std::optional<HybridIdentity> id;
  if (ok) id = FromSecret(SecretBytes(data.data(), data.size()));
  Wipe(data.data(), data.size());
  return id;
}

SecretBytes HybridIdentity::Encode() const {
  if (seed_.empty()) return {};
  std::string text = Bech32Encode(kIdentityHrp, seed_.span());
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  SecretBytes out = SecretBytes::FromString(text);
  Wipe(text.data(), text.size());
  return out;
}

HybridRecipient HybridIdentity::ToRecipient() const {
  if (key_ == nullptr) return HybridRecipient({});  // moved from: a recipient every encryption refuses
  const auto key = key_->PublicKey();
  return HybridRecipient(std::vector<uint8_t>(key.begin(), key.end()));
}

Unwrapped HybridIdentity::Unwrap(const std::vector<Stanza>& stanzas, SecretBytes& file_key) const {
  auto failed = [](Result r) { return Unwrapped {Unwrapped::Kind::kFailed, std::move(r)}; };
  if (key_ == nullptr) return {};  // moved from: opens nothing
  for (const Stanza& s : stanzas) {
    // Stanzas of other types are not ours; ours were checked by CheckStanzas.
    if (s.type != kHybridStanzaType || !CheckHybridStanza(s).ok()) continue;
    std::vector<uint8_t> enc;
    if (!DecodeBase64Raw(s.args[0], enc)) continue;
    SecretBytes opened;
    switch (HpkeOpen(*key_, std::span<const uint8_t, pq::kHybridCiphertextSize>(enc.data(), enc.size()), kLabel,
                     s.body, opened)) {
      case HpkeStatus::kOk:
        if (opened.size() != kFileKeySize) return failed(Invalid("an mlkem768x25519 stanza holds no 16-byte file key"));
        file_key = std::move(opened);
        return {Unwrapped::Kind::kFileKey, Result::Ok()};
      case HpkeStatus::kForged: continue;  // for another recipient
      case HpkeStatus::kInvalidKey:
        // The X25519 share has a small order: nobody's key opens it.
        return failed(Invalid("an mlkem768x25519 stanza has a low-order X25519 share"));
      case HpkeStatus::kFailed: return failed(InternalError("HPKE failed"));
    }
  }
  return {};
}

Result CheckHybridStanza(const Stanza& s) {
  if (s.args.size() != 1) return Invalid("an mlkem768x25519 stanza has the wrong number of arguments");
  if (Base64RawDecodedSize(s.args[0].size()) != pq::kHybridCiphertextSize)
    return Invalid("an mlkem768x25519 stanza's share is not 1120 bytes of canonical base64");
  std::vector<uint8_t> enc;
  if (!DecodeBase64Raw(s.args[0], enc))
    return Invalid("an mlkem768x25519 stanza's share is not 1120 bytes of canonical base64");
  if (s.body.size() != kBodySize) return Invalid("an mlkem768x25519 stanza's body is not 32 bytes");
  return Result::Ok();
}

SecretBytes KeyFileText(const HybridIdentity& identity, std::time_t created) {
  return KeyFileTextFor(identity.ToRecipient().Encode(), identity.Encode(), created);
}

}  // namespace vesk::age
