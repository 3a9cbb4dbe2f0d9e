// The age file engines: a plain file into an age v1 file (to a passphrase or
// to X25519 recipients, binary or armored) and an age file back.
//
// Each runs from start to end on a worker thread, talks to the user only
// through its run context, looks at the context's stop token after every
// batch of chunks, and returns how the run ended. The output is written beside the target under a staging name
// and takes the target's place only when it is complete: a decryption only
// once its last chunk has authenticated. Anything else - a wrong passphrase,
// damage found in the last chunk, a cancel - leaves no output at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/run_context.h"
#include "core/run_result.h"
#include "crypto/age/age.h"
#include "crypto/age/keys.h"
#include "crypto/age/plugin.h"
#include "crypto/age/result.h"
#include "crypto/age/secret.h"
#include "crypto/age_files/key_files.h"

namespace vesk::age_files {

struct EncryptJob {
  std::string source_path;
  std::string target_path;
  // The passphrase (UTF-8 as typed), or empty when `recipients` are given.
  age::SecretBytes passphrase;
  // Recipients as a recipients file holds them ("age1...", "age1pq1...",
  // "ssh-ed25519 AAAA..."), checked by the engine.
  std::vector<std::string> recipients;
  bool armor = false;
  int work_factor = age::kDefaultScryptLogN;  // log2 of scrypt's N
  unsigned threads = 0;                       // 0: one per processor
  // True: the user agreed to replace the file at the target. False: nothing
  // stood there when the command looked, and a file that appeared since is
  // kept (the run is refused). Unset: decided when the engine starts.
  std::optional<bool> replace_target;
  // Fault injection for tests: called before each write with its offset and
  // size (size 0 before the final flush); may throw to simulate a failing disk.
  std::function<void(int64_t offset, std::size_t size)> before_write;
};

struct DecryptJob {
  std::string source_path;
  std::string target_path;
  age::SecretBytes passphrase;              // for a passphrase file
  std::vector<std::string> identity_files;  // for a file encrypted to recipients
  std::vector<std::string> plugins;          // plugins whose default identity is tried ("-j NAME")
  // The identities already read (each file once, as vesk-cli reads them);
  // when set, `identity_files` is not read again.
  std::shared_ptr<IdentitySet> identities;
  int max_work_factor = age::kDefaultMaxScryptLogN;
  unsigned threads = 0;
  std::optional<bool> replace_target;
  std::function<void(int64_t offset, std::size_t size)> before_write;
};

// Who an encryption's file is for: the job's "age1..." recipients, else
// its passphrase (scrypt at the job's work factor).
class RecipientSet {
 public:
  // Nullopt when the set is ready; else the refusal to show (a malformed
  // recipient, a plugin not on PATH, post-quantum ones mixed with classic
  // ones, or neither recipients nor a passphrase), and why() says which as
  // a value. A plugin's questions go to `prompter` (none: it is told they
  // cannot be asked).
  std::optional<std::string> Build(const EncryptJob& job, Prompter* prompter = nullptr);
  Reason why() const { return why_; }
  const std::vector<const age::Recipient*>& list() const { return list_; }
  // True for a passphrase, whose key derivation takes a moment.
  bool Derives() const { return scrypt_ != nullptr; }

 private:
  std::vector<std::unique_ptr<age::Recipient>> parsed_;
  std::vector<std::unique_ptr<age::Recipient>> plugins_;
  std::unique_ptr<age::PluginUi> ui_;
  std::unique_ptr<age::ScryptRecipient> scrypt_;
  Reason why_ = Reason::kNone;
  std::vector<const age::Recipient*> list_;
};

// Each returns how its run ended, with the text it ends with for the caller
// to show (ShowEnding); it shows only its progress.
RunResult EncryptFile(const EncryptJob& job, RunContext& context);
RunResult DecryptFile(const DecryptJob& job, RunContext& context);

// What a file is, judged by its first bytes: an age file (the version line,
// or ASCII armor after optional whitespace) or anything else. A file that
// cannot be read is kNotAge.
enum class FileKind { kNotAge, kBinary, kArmored };
FileKind DetectFile(const std::string& path);

// What an age file's header asks for, read without any key.
struct HeaderSummary {
  age::Result status;       // ok: the header was read and its stanzas are well-formed
  bool passphrase = false;  // a passphrase (scrypt) file
  bool armored = false;     // in the ASCII armor
  int work_factor = 0;      // its log2(N), when passphrase
};
HeaderSummary SummarizeHeader(const std::string& path);
// What `inspect` shows of an age file ("-" is standard input): the header's
// stanza types and the sizes, the whole file read once.
age::Result InspectFile(const std::string& path, age::FileInfo& info);
// What an inspection found, as lines of text for a person: the format, the
// recipients' kinds, the work factor, post-quantum or not, the sizes.
std::string InspectionText(const age::FileInfo& info);

// Why a file with that header cannot be decrypted whatever the key (a
// damaged header, an unknown version); nullopt when its header is sound.
std::optional<std::string> HeaderRefusal(const HeaderSummary& header, const std::string& source);

}  // namespace vesk::age_files
