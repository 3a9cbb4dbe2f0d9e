// The key material of the age commands as files and texts: identity files
// (read for a decryption, written by the key generator), recipient lists
// (pasted or read from a recipients file), and the secret strings a front
// end holds a passphrase in.
#pragma once

#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/prompter.h"
#include "core/run_result.h"
#include "crypto/age/keys.h"
#include "crypto/age/secret.h"

namespace vesk::age_files {

// Key files are small; anything larger is refused unread.
inline constexpr int64_t kMaxKeyFileSize = int64_t{1} << 20;

// The whole of a key file, held as a secret: read once from its start to
// its end, so that a pipe, a FIFO, a process substitution ("<(...)",
// /dev/fd/N) or "-" (standard input) serves as well as a file. Throws
// IoError when it cannot be read or is larger than kMaxKeyFileSize.
age::SecretBytes ReadKeyFile(const std::string& path);

// The identities of a run's identity files, each file read once when the
// set is loaded: age identities (X25519, post-quantum), SSH private keys,
// and identity files protected with a passphrase. A protected key asks for
// its passphrase through the prompter bound at that moment, once, and only
// when it is needed (an SSH key only for a stanza with its tag).
class IdentitySet {
 public:
  // `encrypting`: the texts end as an encryption's (encrypt -i).
  explicit IdentitySet(bool encrypting = false);
  // The texts end with `ending` (a file checked when it is chosen, with no
  // run to cancel).
  explicit IdentitySet(const char* ending);
  ~IdentitySet();
  IdentitySet(const IdentitySet&) = delete;
  IdentitySet& operator=(const IdentitySet&) = delete;

  // Reads every file; nullopt when all are usable, else the text to show
  // (naming the file) and the set stays empty.
  std::optional<std::string> Load(const std::vector<std::string>& paths, int max_work_factor);
  // Adds the identities of one file already read (`name` as it is shown).
  std::optional<std::string> Add(const std::string& name, age::SecretBytes text, int max_work_factor);
  // Where passphrases are asked from now on (the run's prompter); null: nowhere.
  void Bind(Prompter* prompter);

  bool empty() const { return identities_.empty() && plugin_identities_.empty(); }
  // The "AGE-PLUGIN-NAME-1..." lines of the files, for their plugins.
  const std::vector<std::string>& PluginIdentities() const { return plugin_identities_; }
  std::vector<const age::Identity*> list() const;
  // The recipients of every identity ("age1...", "age1pq1...", "ssh-...
  // AAAA..."), protected identity files opened (asked for) now; nullopt
  // with `error` set when one cannot be opened.
  std::optional<std::vector<std::string>> Recipients(std::string& error) const;
  // The text to show after a decryption that `status` ended, when it came
  // from one of these identities (a protected key not opened); else nullopt.
  std::optional<std::string> FailureText(age::Status status) const;

 private:
  struct Entry;
  std::vector<Entry> entries_;
  std::vector<std::unique_ptr<age::Identity>> identities_;
  std::vector<std::string> plugin_identities_;
  std::shared_ptr<Prompter*> prompter_;
  const char* cancelled_;
};

// Whether an identity file can be used (IdentitySet::Load of that file
// alone); `error` is the text to show when it cannot be read or holds
// anything but identities.
struct IdentityFile {
  std::string error;
};
IdentityFile ReadIdentityFile(const std::string& path);

// The recipients of a recipients text (one per line, '#' comments and empty
// lines skipped, as in a recipients file: "age1...", "age1pq1...",
// authorized_keys lines; a plugin's "age1NAME1..." as given), encoded again; `error` is the text to show when a
// line is no recipient or there is none.
struct RecipientList {
  std::vector<std::string> recipients;
  std::string error;
};
RecipientList ParseRecipients(std::string_view text);
// Why one recipient given alone (as on a command line) cannot be used.
std::string RecipientRefusal(const std::string& recipient);

// The recipients ("age1...") of the identities in an identity file's text,
// in order; nullopt when the text holds anything but identities.
std::optional<std::vector<std::string>> RecipientsOfIdentities(std::string_view text);

// A new identity: the identity file's text (created time, public key
// comment, secret key) and its public key; a post-quantum one ("age1pq1...")
// when `post_quantum`. nullopt when the system has no random bytes.
struct NewIdentity {
  age::SecretBytes file_text;
  std::string public_key;
};
std::optional<NewIdentity> GenerateIdentity(std::time_t created, bool post_quantum = false);

// An identity file's text encrypted to `passphrase` (scrypt at the default
// work factor) and armored, as "age-keygen | age -p -a" writes it; nullopt
// when the system fails.
std::optional<age::SecretBytes> ProtectKeyFile(const age::SecretBytes& text, const age::SecretBytes& passphrase);

// Whether post-quantum and classic recipients are mixed in `recipients`
// (strings as RecipientList holds them).
bool MixesPostQuantum(const std::vector<std::string>& recipients);

// Writes `text` as a new file at `path` with mode 0600, complete or not at
// all, and flushes it to the disk. Never replaces anything: throws
// TargetExistsError when something is at `path`, IoError on a failure.
void WriteNewKeyFile(const std::string& path, const age::SecretBytes& text);

// A new strong passphrase: seven made-up words of five letters (a
// consonant and a vowel in turn, from 16 consonants and 5 vowels: 16.6
// bits a word, 116 bits in all) joined by "-", such as
// "bakot-mirel-...". Empty only when the system has no random bytes.
age::SecretBytes GeneratePassphrase();

// Copies `text` into a secret and wipes every byte `text` held.
age::SecretBytes TakeSecret(std::string& text);
// Wipes every byte of the string's buffer (its capacity, not only its size)
// and empties it.
void WipeString(std::string& text);

// True when `text` is well-formed UTF-8 (no overlong forms, no surrogates).
bool IsUtf8(std::string_view text);

}  // namespace vesk::age_files
