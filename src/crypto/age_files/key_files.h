// The key material of the age commands as files and texts: identity files
// (read for a decryption, written by the key generator), recipient lists
// (pasted or read from a recipients file), and the secret strings a front
// end holds a passphrase in.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "crypto/age/keys.h"
#include "crypto/age/secret.h"

namespace vesk::age_files {

// Key files are small; anything larger is refused unread.
inline constexpr int64_t kMaxKeyFileSize = int64_t{1} << 20;

// The whole of a key file, held as a secret. Throws IoError when it cannot
// be read or is larger than kMaxKeyFileSize.
age::SecretBytes ReadKeyFile(const std::string& path);

// Every identity of an identity file; `error` is the text to show when the
// file cannot be read or holds anything but identities (and then
// `identities` is empty).
struct IdentityFile {
  std::vector<age::X25519Identity> identities;
  std::vector<std::string> plugin_identities;  // "AGE-PLUGIN-NAME-1...", for their plugins
  std::string error;
};
IdentityFile ReadIdentityFile(const std::string& path);

// The "age1..." recipients of a recipients text (one per line, '#' comments
// and empty lines skipped, as in a recipients file), encoded again (a
// plugin's "age1NAME1..." as given); `error`
// is the text to show when a line is no recipient or there is none.
struct RecipientList {
  std::vector<std::string> recipients;
  std::string error;
};
RecipientList ParseRecipients(std::string_view text);

// The recipients ("age1...") of the identities in an identity file's text,
// in order; nullopt when the text holds anything but identities.
std::optional<std::vector<std::string>> RecipientsOfIdentities(std::string_view text);

// A new identity: the identity file's text (created time, public key
// comment, secret key) and its public key. nullopt when the system has no
// random bytes.
struct NewIdentity {
  age::SecretBytes file_text;
  std::string public_key;
};
std::optional<NewIdentity> GenerateIdentity(std::time_t created);

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
