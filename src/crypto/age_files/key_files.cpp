#include "crypto/age_files/key_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

#include "crypto/age/armor.h"
#include "crypto/age_files/plugins.h"
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
  InputFile in(path);
  const int64_t size = in.Size();
  if (size > kMaxKeyFileSize) throw IoError(path + " is too large for a key file");
  age::SecretBytes bytes(static_cast<std::size_t>(size));
  const std::size_t got = in.Read(bytes.data(), bytes.size());
  if (got != bytes.size()) throw IoError(path + " changed while it was read");
  return bytes;
}

IdentityFile ReadIdentityFile(const std::string& path) {
  IdentityFile file;
  age::SecretBytes text;
  try {
    text = ReadKeyFile(path);
  } catch (...) {
    file.error = text::IdentityFileUnreadable(path);
    return file;
  }
  // Plugin identities are their plugins' to read; the other lines are ours.
  std::string ours = WithoutPluginIdentities(text.view(), file.plugin_identities);
  age::Result r = age::ParseIdentityFile(ours, file.identities);
  WipeString(ours);
  if (!r.ok() && file.identities.empty() && !file.plugin_identities.empty() && LineOf(r.detail) == 0) r = age::Result::Ok();
  if (r.ok()) return file;
  file.plugin_identities.clear();
  // An identity file may itself be an age file (age -p of a key file).
  const std::string_view view = text.view();
  const std::size_t first = view.find_first_not_of(" \t\r\n");
  const bool encrypted = view.starts_with("age-encryption.org/") ||
                         (first != std::string_view::npos && view.substr(first).starts_with(age::kArmorBegin));
  file.error = encrypted ? text::IdentityFileEncrypted(path) : text::IdentityFileInvalid(path, text::LineHint(LineOf(r.detail)));
  return file;
}

RecipientList ParseRecipients(std::string_view text) {
  RecipientList list;
  std::vector<age::X25519Recipient> parsed;
  std::vector<std::string> plugins;
  const std::string ours = WithoutPluginRecipients(text, plugins);
  age::Result r = age::ParseRecipientFile(ours, parsed);
  if (!r.ok() && !plugins.empty() && LineOf(r.detail) == 0) r = age::Result::Ok();  // only plugin recipients
  if (!r.ok()) {
    list.error = LineOf(r.detail) > 0 ? text::BadRecipient(text::LineHint(LineOf(r.detail))) : text::kNoRecipients;
    return list;
  }
  for (const auto& recipient : parsed) list.recipients.push_back(recipient.Encode());
  list.recipients.insert(list.recipients.end(), plugins.begin(), plugins.end());
  return list;
}

std::optional<std::vector<std::string>> RecipientsOfIdentities(std::string_view text) {
  std::vector<age::X25519Identity> identities;
  if (!age::ParseIdentityFile(text, identities).ok()) return std::nullopt;
  std::vector<std::string> recipients;
  for (const auto& id : identities) recipients.push_back(id.ToRecipient().Encode());
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

std::optional<NewIdentity> GenerateIdentity(std::time_t created) {
  std::optional<age::X25519Identity> id = age::X25519Identity::Generate();
  if (!id) return std::nullopt;
  return NewIdentity{age::KeyFileText(*id, created), id->ToRecipient().Encode()};
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
