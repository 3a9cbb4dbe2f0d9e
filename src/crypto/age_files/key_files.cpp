#include "crypto/age_files/key_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

#include "crypto/age/age.h"
#include "crypto/age/armor.h"
#include "crypto/age_files/plugins.h"
#include "crypto/age/hybrid_keys.h"
#include "crypto/age/protected_identity.h"
#include "crypto/age/ssh_keys.h"
#include "crypto/age_files/texts.h"
#include "platform/file_io.h"
#include "platform/staged_file.h"

namespace vesk::age_files {
namespace {

// The line number a key parser's detail names ("line 3: ..."), or 0.
int LineOf(const std::string& detail) {
  constexpr std::string_view kLine = "line ";
  if (detail.compare(0, kLine.size(), kLine) != 0) return 0;
  return std::atoi(detail.c_str() + kLine.size());
}

// Pushes a file and the folder entry naming it to the disk.
void Flush(const std::string& path) {
  for (const std::string& p : {path, FolderOf(path)}) {
    const int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) ThrowIoError("cannot open " + p);
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    if (!synced) ThrowIoError("cannot write " + p);
  }
}

}  // namespace

age::SecretBytes ReadKeyFile(const std::string& path) {
  const bool standard_input = path == "-";
  const int fd = standard_input ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw IoError("cannot open " + path);
  struct stat st {};
  const bool usable = ::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode) &&
                      !(S_ISREG(st.st_mode) && st.st_size > kMaxKeyFileSize);
  // One pass to the end, whatever the file is: one byte more than allowed
  // tells that it is too large.
  age::SecretBytes buffer(usable ? static_cast<std::size_t>(kMaxKeyFileSize) + 1 : 0);
  std::size_t size = 0;
  bool failed = !usable;
  while (!failed && size < buffer.size()) {
    const ssize_t n = ::read(fd, buffer.data() + size, buffer.size() - size);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      failed = true;
    } else {
      size += static_cast<std::size_t>(n);
    }
  }
  if (!standard_input) ::close(fd);
  if (failed) throw IoError("cannot read " + path);
  if (size > static_cast<std::size_t>(kMaxKeyFileSize)) throw IoError(path + " is too large for a key file");
  return age::SecretBytes(buffer.data(), size);
}

struct IdentitySet::Entry {
  std::string path;
  const age::SshIdentity* ssh = nullptr;
  const age::ProtectedIdentityFile* protected_file = nullptr;
};

IdentitySet::IdentitySet(bool encrypting)
    : prompter_(std::make_shared<Prompter*>(nullptr)), cancelled_(encrypting ? text::kEncryptCancelled : text::kDecryptCancelled) {}
IdentitySet::IdentitySet(const char* ending) : prompter_(std::make_shared<Prompter*>(nullptr)), cancelled_(ending) {}
IdentitySet::~IdentitySet() = default;

void IdentitySet::Bind(Prompter* prompter) { *prompter_ = prompter; }

std::optional<std::string> IdentitySet::Load(const std::vector<std::string>& paths, int max_work_factor) {
  entries_.clear();
  identities_.clear();
  plugin_identities_.clear();
  for (const std::string& path : paths) {
    age::SecretBytes text;
    try {
      text = ReadKeyFile(path);
    } catch (...) {
      identities_.clear();
      entries_.clear();
      return text::IdentityFileUnreadable(path, cancelled_);
    }
    if (auto error = Add(path, std::move(text), max_work_factor)) {
      identities_.clear();
      entries_.clear();
      return error;
    }
  }
  return std::nullopt;
}

std::optional<std::string> IdentitySet::Add(const std::string& path, age::SecretBytes text, int max_work_factor) {
  auto ask = [prompter = prompter_](std::string prompt) {
    return [prompter, prompt]() -> std::optional<age::SecretBytes> {
      if (*prompter == nullptr) return std::nullopt;
      std::optional<SecretText> typed = (*prompter)->AskSecret(prompt);
      if (!typed) return std::nullopt;
      return age::SecretBytes::FromString(typed->view());
    };
  };
  Entry entry{path};
  if (age::ProtectedIdentityFile::Is(text.view())) {
    auto file = std::make_unique<age::ProtectedIdentityFile>(std::move(text), ask(text::ProtectedIdentityPrompt(path)),
                                                             max_work_factor);
    entry.protected_file = file.get();
    identities_.push_back(std::move(file));
    entries_.push_back(std::move(entry));
    return std::nullopt;
  }
  // A protected PEM key shows its public half only in its .pub file.
  std::string public_line;
  if (age::LooksLikeSshPrivateKey(text.view()) && path != "-") {
    try {
      public_line = std::string(ReadKeyFile(path + ".pub").view());
    } catch (...) {
    }
  }
  // Plugin identities are their plugins' to read; the other lines are ours.
  std::vector<std::string> plugin_keys;
  std::string ours = WithoutPluginIdentities(text.view(), plugin_keys);
  std::vector<std::unique_ptr<age::Identity>> parsed;
  age::SshKeyError ssh_error = age::SshKeyError::kNone;
  age::Result r = age::ParseIdentityFile(ours, parsed, public_line, ask(text::SshKeyPassphrasePrompt(path)), &ssh_error);
  WipeString(ours);
  if (!r.ok() && parsed.empty() && !plugin_keys.empty() && LineOf(r.detail) == 0) r = age::Result::Ok();
  plugin_identities_.insert(plugin_identities_.end(), plugin_keys.begin(), plugin_keys.end());
  if (!r.ok()) {
    switch (ssh_error) {
      case age::SshKeyError::kNone: break;
      case age::SshKeyError::kUnsupportedType: return text::SshKeyUnsupported(path, cancelled_);
      case age::SshKeyError::kRsaTooSmall: return text::SshKeyTooSmall(path, cancelled_);
      case age::SshKeyError::kNeedsPublicKey: return text::SshKeyNeedsPublicKey(path, cancelled_);
      default: return text::SshKeyMalformed(path, cancelled_);
    }
    return text::IdentityFileInvalid(path, text::LineHint(LineOf(r.detail)), cancelled_);
  }
  if (parsed.size() == 1) entry.ssh = dynamic_cast<const age::SshIdentity*>(parsed[0].get());
  for (auto& id : parsed) identities_.push_back(std::move(id));
  entries_.push_back(std::move(entry));
  return std::nullopt;
}

std::vector<const age::Identity*> IdentitySet::list() const {
  std::vector<const age::Identity*> out;
  for (const auto& id : identities_) out.push_back(id.get());
  return out;
}

namespace {

// The recipient of one identity as a recipients file holds it.
std::optional<std::string> RecipientOf(const age::Identity& id) {
  if (const auto* x = dynamic_cast<const age::X25519Identity*>(&id)) return x->ToRecipient().Encode();
  if (const auto* pq = dynamic_cast<const age::HybridIdentity*>(&id)) return pq->ToRecipient().Encode();
  if (const auto* ssh = dynamic_cast<const age::SshIdentity*>(&id)) {
    if (auto r = ssh->ToRecipient()) return r->Encode();
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::vector<std::string>> IdentitySet::Recipients(std::string& error) const {
  std::vector<std::string> out;
  std::size_t at = 0;
  for (const Entry& entry : entries_) {
    if (entry.protected_file != nullptr) {
      if (!entry.protected_file->Open().ok()) {
        error = FailureText(entry.protected_file->Open().status).value_or(text::KeyNotOpened(entry.path, cancelled_));
        return std::nullopt;
      }
      for (const auto& id : entry.protected_file->identities()) {
        if (auto r = RecipientOf(*id)) out.push_back(*r);
      }
      ++at;
      continue;
    }
    // The identities read from this file follow in order.
    for (; at < identities_.size(); ++at) {
      const age::Identity* id = identities_[at].get();
      if (dynamic_cast<const age::ProtectedIdentityFile*>(id) != nullptr) break;
      auto r = RecipientOf(*id);
      if (!r) {
        error = text::SshKeyTooSmall(entry.path, cancelled_);
        return std::nullopt;
      }
      out.push_back(*r);
    }
  }
  return out;
}

std::optional<std::string> IdentitySet::FailureText(age::Status status) const {
  for (const Entry& entry : entries_) {
    if (entry.ssh != nullptr && entry.ssh->UnlockError() != age::SshKeyError::kNone) {
      if (entry.ssh->UnlockError() == age::SshKeyError::kNoLibrary) return std::string(text::kSshLibraryMissing);
      if (entry.ssh->UnlockError() == age::SshKeyError::kCannotExport)
        return text::SshKeyCannotExport(entry.path, cancelled_);
      return text::KeyNotOpened(entry.path, cancelled_);
    }
    if (entry.protected_file != nullptr && entry.protected_file->Tried()) {
      const age::Result r = entry.protected_file->Open();
      if (r.ok()) continue;
      if (r.status == age::Status::kWorkFactorTooHigh) return text::KeyNotOpened(entry.path, cancelled_) + " (" + r.detail + ")";
      if (r.status == age::Status::kBadKey) return text::ProtectedIdentityInvalid(entry.path, cancelled_);
      return text::KeyNotOpened(entry.path, cancelled_);
    }
  }
  (void)status;
  return std::nullopt;
}

IdentityFile ReadIdentityFile(const std::string& path) {
  IdentityFile file;
  // Choosing identity files decrypts nothing: no decryption is cancelled.
  IdentitySet set(text::kIdentitiesNotChosen);
  if (auto error = set.Load({path}, age::kDefaultMaxScryptLogN)) file.error = *error;
  return file;
}

RecipientList ParseRecipients(std::string_view text) {
  RecipientList list;
  std::vector<std::unique_ptr<age::Recipient>> parsed;
  std::vector<std::string> plugins;
  // Plugin recipients are their plugins' to check; the other lines are ours.
  const std::string ours = WithoutPluginRecipients(text, plugins);
  age::Result r = age::ParseRecipientFile(ours, parsed);
  if (!r.ok() && !plugins.empty() && LineOf(r.detail) == 0) r = age::Result::Ok();  // only plugin recipients
  if (!r.ok()) {
    const int line = LineOf(r.detail);
    if (line > 0 && r.detail.ends_with(age::kRsaTooSmallDetail)) {
      list.error = text::RecipientRefused(text::LineHint(line), text::kRsaTooSmall);
    } else {
      list.error = line > 0 ? text::BadRecipient(text::LineHint(line)) : text::kNoRecipients;
    }
    return list;
  }
  for (const auto& recipient : parsed) list.recipients.push_back(recipient->Encode());
  list.recipients.insert(list.recipients.end(), plugins.begin(), plugins.end());
  return list;
}

std::string RecipientRefusal(const std::string& recipient) {
  age::Result why;
  age::SshKeyError ssh = age::SshKeyError::kNone;
  if (age::ParseRecipient(recipient, &why, &ssh)) return {};
  if (ssh == age::SshKeyError::kRsaTooSmall) return text::RecipientRefused("“" + recipient + "”", text::kRsaTooSmall);
  if (ssh == age::SshKeyError::kUnsupportedType) return text::RecipientRefused("“" + recipient + "”", text::kSshTypeUnsupported);
  return text::BadRecipient("“" + recipient + "”");
}

std::optional<std::vector<std::string>> RecipientsOfIdentities(std::string_view text) {
  std::vector<std::unique_ptr<age::Identity>> identities;
  if (!age::ParseIdentityFile(text, identities).ok()) return std::nullopt;
  std::vector<std::string> recipients;
  for (const auto& id : identities) {
    auto r = RecipientOf(*id);
    if (!r) return std::nullopt;
    recipients.push_back(*r);
  }
  return recipients;
}

age::SecretBytes GeneratePassphrase() {
  constexpr std::string_view kConsonants = "bdfghjklmnprstvz";  // 16: one nibble each
  constexpr std::string_view kVowels = "aeiou";
  constexpr int kWords = 7, kLetters = 5;
  std::string phrase;
  uint8_t random[64];
  std::size_t at = sizeof random;
  // The next random byte, refilled in batches.
  auto next = [&]() -> std::optional<uint8_t> {
    if (at == sizeof random) {
      if (!age::RandomBytes(random, sizeof random)) return std::nullopt;
      at = 0;
    }
    return random[at++];
  };
  for (int w = 0; w < kWords; ++w) {
    if (w > 0) phrase += '-';
    for (int l = 0; l < kLetters; ++l) {
      std::optional<uint8_t> byte = next();
      if (!byte) {
        WipeString(phrase);
        return {};
      }
      if (l % 2 == 0) {
        phrase += kConsonants[*byte & 0x0F];
      } else if (*byte < 250) {  // 250 = 50 * 5: no vowel more likely than another
        phrase += kVowels[*byte % 5];
      } else {
        --l;
      }
    }
  }
  age::Wipe(random, sizeof random);
  return TakeSecret(phrase);
}

std::optional<NewIdentity> GenerateIdentity(std::time_t created, bool post_quantum) {
  if (post_quantum) {
    std::optional<age::HybridIdentity> id = age::HybridIdentity::Generate();
    if (!id) return std::nullopt;
    return NewIdentity{age::KeyFileText(*id, created), id->ToRecipient().Encode()};
  }
  std::optional<age::X25519Identity> id = age::X25519Identity::Generate();
  if (!id) return std::nullopt;
  return NewIdentity{age::KeyFileText(*id, created), id->ToRecipient().Encode()};
}

std::optional<age::SecretBytes> ProtectKeyFile(const age::SecretBytes& text, const age::SecretBytes& passphrase) {
  const age::ScryptRecipient to(passphrase.Clone());
  age::MemorySource in(text.span());
  age::StringSink out;  // ciphertext only
  age::EncryptOptions options;
  options.armor = true;
  options.threads = 1;
  const std::atomic<bool> stop{false};
  if (!age::Encrypt({&to}, in, out, options, stop).ok()) return std::nullopt;
  return age::SecretBytes::FromString(out.out);
}

bool MixesPostQuantum(const std::vector<std::string>& recipients) {
  std::vector<std::unique_ptr<age::Recipient>> parsed;
  std::vector<const age::Recipient*> list;
  for (const std::string& r : recipients) {
    if (auto rec = age::ParseRecipient(r)) {
      list.push_back(rec.get());
      parsed.push_back(std::move(rec));
    }
  }
  return age::CheckRecipientMix(list) == age::RecipientMix::kPostQuantumWithClassic;
}

void WriteNewKeyFile(const std::string& path, const age::SecretBytes& text) {
  if (PathExists(path)) throw TargetExistsError(path + " exists");
  StagedOutput out;
  out.Open(path, 0600);
  out.Write(text.data(), text.size());
  out.Commit(/*replace=*/false);
  Flush(path);
}

void WipeString(std::string& text) {
  // Short strings live inside the object: wipe the whole buffer either way.
  text.resize(text.capacity());
  age::Wipe(text.data(), text.size());
  text.clear();
}

age::SecretBytes TakeSecret(std::string& text) {
  age::SecretBytes secret = age::SecretBytes::FromString(text);
  WipeString(text);
  return secret;
}

bool IsUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t n = 0;
    uint32_t cp = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      n = 1;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      n = 2;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      n = 3;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + n >= text.size()) return false;
    for (std::size_t k = 1; k <= n; ++k) {
      const auto cc = static_cast<unsigned char>(text[i + k]);
      if ((cc & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    static constexpr uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kSmallest[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += n + 1;
  }
  return true;
}

}  // namespace vesk::age_files
