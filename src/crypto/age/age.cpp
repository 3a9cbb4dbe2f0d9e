#include "crypto/age/age.h"

#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <optional>

#include "crypto/age/armor.h"
#include "crypto/age/hybrid_keys.h"
#include "crypto/age/payload.h"
#include "platform/page_cache_write.h"

namespace vesk::age {
namespace {

constexpr std::size_t kInputBuffer = 256 * 1024;

Result ReadFailure(const BufferedReader& in) {
  return in.failure().ok() ? Result::Fail(Status::kIoError, "reading the input failed") : in.failure();
}

Result WriteFailure(const Sink& out) {
  return out.failure().ok() ? Result::Fail(Status::kIoError, "writing the output failed") : out.failure();
}

// The reader the header and payload come from: the input itself, or the
// armor decoded from it.
class Opened {
 public:
  explicit Opened(Source& in) : outer_(in, kInputBuffer) {}

  Result Start() {
    switch (DetectArmor(outer_)) {
      case InputKind::kFailed: return ReadFailure(outer_);
      case InputKind::kNotAge: return Result::Fail(Status::kHeaderInvalid, "not an age file");
      case InputKind::kBinary: return Result::Ok();
      case InputKind::kArmored:
        armor_.emplace(outer_);
        inner_.emplace(*armor_, kInputBuffer);
        return Result::Ok();
    }
    return Result::Ok();
  }
  BufferedReader& reader() { return inner_ ? *inner_ : outer_; }
  bool armored() const { return armor_.has_value(); }
  uint64_t consumed() const { return outer_.position(); }

 private:
  BufferedReader outer_;
  std::optional<ArmorSource> armor_;
  std::optional<BufferedReader> inner_;
};

}  // namespace

RecipientMix CheckRecipientMix(const std::vector<const Recipient*>& recipients) {
  if (recipients.empty()) return RecipientMix::kNoRecipients;
  bool post_quantum = false, classic = false;
  for (const Recipient* r : recipients) {
    if (r == nullptr) return RecipientMix::kMissingRecipient;
    if (r->MustBeAlone() && recipients.size() > 1) return RecipientMix::kPassphraseNotAlone;
    (r->PostQuantum() ? post_quantum : classic) = true;
  }
  return post_quantum && classic ? RecipientMix::kPostQuantumWithClassic : RecipientMix::kFine;
}

Result Encrypt(const std::vector<const Recipient*>& recipients, Source& in, Sink& out, const EncryptOptions& options,
               const std::atomic<bool>& stop) {
  if (!CryptoReady()) return Result::Fail(Status::kInternalError, "OpenSSL's libcrypto lacks an algorithm age needs");
  switch (CheckRecipientMix(recipients)) {
    case RecipientMix::kFine: break;
    case RecipientMix::kNoRecipients: return Result::Fail(Status::kInvalidArgument, "no recipients");
    case RecipientMix::kMissingRecipient: return Result::Fail(Status::kInvalidArgument, "a recipient is missing");
    case RecipientMix::kPassphraseNotAlone:
      return Result::Fail(Status::kInvalidArgument, "a passphrase cannot be combined with other recipients");
    case RecipientMix::kPostQuantumWithClassic:
      return Result::Fail(Status::kMixedRecipients,
                          "post-quantum recipients cannot be combined with classic ones in one file");
  }
  SecretBytes file_key(kFileKeySize);
  if (!RandomBytes(file_key.data(), file_key.size()))
    return Result::Fail(Status::kInternalError, "the system has no random bytes");
  Header header;
  std::optional<std::vector<std::string>> labels;
  for (const Recipient* r : recipients) {
    std::vector<Stanza> stanzas;
    std::vector<std::string> own;
    if (Result res = r->WrapAll(file_key, stanzas, own); !res.ok()) return res;
    // Stanzas that carry labels share a file only with the same labels.
    if (labels && *labels != own)
      return Result::Fail(Status::kInvalidArgument, "recipients with different labels cannot share a file");
    labels = std::move(own);
    for (Stanza& s : stanzas) header.stanzas.push_back(std::move(s));
  }
  if (!SealHeader(header, file_key)) return Result::Fail(Status::kInternalError, "HMAC-SHA-256 failed");

  std::optional<ArmorSink> armor;
  if (options.armor) armor.emplace(out);
  Sink& sink = armor ? static_cast<Sink&>(*armor) : out;
  const std::string text = Serialize(header);
  if (!sink.Write(reinterpret_cast<const uint8_t*>(text.data()), text.size())) return WriteFailure(sink);

  BufferedReader reader(in, kInputBuffer);
  PayloadOptions payload;
  payload.threads = options.threads;
  if (options.progress) payload.after_batch = [&](uint64_t position) { options.progress(position); };
  if (Result r = EncryptPayload(reader, sink, file_key, payload, stop); !r.ok()) return r;
  if (armor && !armor->Finish()) return WriteFailure(*armor);
  return Result::Ok();
}

Result Decrypt(const std::vector<const Identity*>& identities, Source& in, Sink& out, const DecryptOptions& options,
               const std::atomic<bool>& stop) {
  if (!CryptoReady()) return Result::Fail(Status::kInternalError, "OpenSSL's libcrypto lacks an algorithm age needs");
  if (identities.empty()) return Result::Fail(Status::kInvalidArgument, "no identities");
  bool have_passphrase = false;
  for (const Identity* id : identities) {
    if (id == nullptr) return Result::Fail(Status::kInvalidArgument, "an identity is missing");
    have_passphrase = have_passphrase || id->IsPassphrase();
  }
  Opened file(in);
  if (Result r = file.Start(); !r.ok()) return r;
  Header header;
  if (Result r = ReadHeader(file.reader(), header); !r.ok()) return r;
  if (Result r = CheckStanzas(header.stanzas); !r.ok()) return r;

  SecretBytes file_key;
  bool unwrapped = false;
  // A protected key that could not be opened may be made up for by another
  // identity; its failure counts only when none opens the file.
  std::optional<Result> locked;
  for (const Identity* id : identities) {
    const Unwrapped u = id->Unwrap(header.stanzas, file_key);
    if (u.kind == Unwrapped::Kind::kFailed && u.result.status == Status::kKeyLocked) {
      if (!locked) locked = u.result;
      continue;
    }
    if (u.kind == Unwrapped::Kind::kFailed) return u.result;
    if (u.kind == Unwrapped::Kind::kFileKey) {
      unwrapped = true;
      break;
    }
  }
  if (!unwrapped && locked) return *locked;
  if (!unwrapped) {
    const bool scrypt = header.stanzas.size() == 1 && header.stanzas[0].type == "scrypt";
    if (scrypt && !have_passphrase)
      return Result::Fail(Status::kPassphraseRequired, "the file is encrypted with a passphrase");
    if (!scrypt && have_passphrase && identities.size() == 1)
      return Result::Fail(Status::kNoMatchingIdentity, "the file is not encrypted with a passphrase");
    return Result::Fail(Status::kNoMatchingIdentity, "none of the identities opens the file");
  }
  switch (CheckHeaderMac(header, file_key)) {
    case MacCheck::kMatches: break;
    case MacCheck::kDiffers:
      return Result::Fail(Status::kHeaderInvalid, "the header's MAC does not match: the header was altered");
    case MacCheck::kFailed: return Result::Fail(Status::kInternalError, "HMAC-SHA-256 failed");
  }

  PayloadOptions payload;
  payload.threads = options.threads;
  if (options.progress) {
    // The position in the file itself, not in the armor's decoded bytes.
    payload.input_position = [&] { return file.consumed(); };
    payload.after_batch = [&](uint64_t position) { options.progress(position); };
  }
  return DecryptPayload(file.reader(), out, file_key, payload, stop);
}

namespace {

// The bytes of the regular file `fd` from its position on; 0 for anything else.
uint64_t BytesLeft(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  const off_t at = ::lseek(fd, 0, SEEK_CUR);
  return at >= 0 && st.st_size > at ? static_cast<uint64_t>(st.st_size - at) : 0;
}

}  // namespace

Result EncryptFd(const std::vector<const Recipient*>& recipients, int in_fd, int out_fd,
                 const EncryptOptions& options, const std::atomic<bool>& stop) {
  const uint64_t plain = BytesLeft(in_fd);
  // The payload; the header before it is a few hundred bytes.
  const ReservedRoom room(out_fd, plain > 0 && !options.armor ? PayloadSize(plain) : 0);
  FdSource in(in_fd);
  FdSink out(out_fd);
  return Encrypt(recipients, in, out, options, stop);
}

Result DecryptFd(const std::vector<const Identity*>& identities, int in_fd, int out_fd,
                 const DecryptOptions& options, const std::atomic<bool>& stop) {
  // At most what the input would hold if it had no header (or armor).
  const ReservedRoom room(out_fd, PlaintextSize(BytesLeft(in_fd)));
  FdSource in(in_fd);
  FdSink out(out_fd);
  return Decrypt(identities, in, out, options, stop);
}

uint64_t PlaintextSize(uint64_t payload_size) {
  if (payload_size <= kPayloadNonceSize) return 0;
  constexpr uint64_t kSealed = kChunkSize + kTagSize;
  const uint64_t sealed = payload_size - kPayloadNonceSize;
  const uint64_t rest = sealed % kSealed;
  return sealed / kSealed * kChunkSize + (rest > kTagSize ? rest - kTagSize : 0);
}

uint64_t PayloadSize(uint64_t plaintext_size) {
  // Every chunk but the last is full, and even an empty plaintext has one.
  const uint64_t chunks = std::max<uint64_t>(1, (plaintext_size + kChunkSize - 1) / kChunkSize);
  return kPayloadNonceSize + plaintext_size + chunks * kTagSize;
}

Result Inspect(Source& in, FileInfo& info, bool measure, std::optional<uint64_t> size) {
  info = FileInfo {};
  Opened file(in);
  if (Result r = file.Start(); !r.ok()) return r;
  info.armored = file.armored();
  Header header;
  if (Result r = ReadHeader(file.reader(), header); !r.ok()) return r;
  if (Result r = CheckStanzas(header.stanzas); !r.ok()) return r;
  info.post_quantum = !header.stanzas.empty();
  for (const Stanza& s : header.stanzas) {
    info.types.push_back(s.type);
    info.post_quantum = info.post_quantum && s.type == kHybridStanzaType;
    if (s.type == "scrypt") {
      info.passphrase = true;
      info.scrypt_log_n = std::stoi(s.args[1].substr(0, 4));
    }
  }
  if (!measure) return Result::Ok();
  BufferedReader& reader = file.reader();
  info.header_size = reader.position();
  if (size && !info.armored && *size >= info.header_size) {
    info.payload_size = *size - info.header_size;
    info.plaintext_size = PlaintextSize(info.payload_size);
    info.measured = true;
    return Result::Ok();
  }
  std::vector<uint8_t> buf(kInputBuffer);
  for (;;) {
    const long n = reader.ReadFull(buf.data(), buf.size());
    if (n < 0) return ReadFailure(reader);
    if (n == 0) break;
    info.payload_size += static_cast<uint64_t>(n);
  }
  info.plaintext_size = PlaintextSize(info.payload_size);
  info.measured = true;
  return Result::Ok();
}

}  // namespace vesk::age
