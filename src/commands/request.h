// What a front end asks a command to do, as a value: built from the window's
// state (key boxes, settings, dialog answers) or from vesk-cli's arguments
// alone. A command plans and runs a request; it never reads a widget.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "commands/overwrite.h"
#include "core/secret_text.h"
#include "platform/fault_hooks.h"

namespace vesk::age_files {
class IdentitySet;
}

namespace vesk::commands {

// Where an output goes.
struct OutputRule {
  enum class Kind {
    kProposed,  // beside its source, under the name the command proposes
    kExact,     // exactly this file (one source only)
    kFolder,    // into this existing folder, under the proposed name
  };
  Kind kind = Kind::kProposed;
  std::string path;  // the file or the folder; empty for kProposed

  static OutputRule Proposed() { return {}; }
  static OutputRule Exact(std::string file) { return {Kind::kExact, std::move(file)}; }
  static OutputRule Folder(std::string folder) { return {Kind::kFolder, std::move(folder)}; }
};

// The formats a file command writes or reads.
enum class Format {
  kKeyed,       // the keyed ".jmz" container, compressed first unless level 0
  kCompressed,  // ".zak", compressed only
  kKeyless,     // the key-less ".jmz" container
  kAge,         // age v1 (".age")
};

// The key material of a command; only what the format needs is set.
struct KeyMaterial {
  SecretText key;          // the ".jmz" key (its text as typed, UTF-8)
  SecretText decrypt_key;  // the key of a container that is encrypted again
  SecretText passphrase;   // the age passphrase, exactly as typed
  std::vector<std::string> recipients;      // age recipients ("age1...")
  std::vector<std::string> identity_files;  // age identity files
  std::vector<std::string> plugins;         // age plugins whose default identity is tried
  // The identities of `identity_files` read once (vesk-cli: a file read
  // from a pipe cannot be read again); unset, each run reads the files.
  std::shared_ptr<age_files::IdentitySet> identities;

  KeyMaterial() = default;
  KeyMaterial(KeyMaterial&&) = default;
  KeyMaterial& operator=(KeyMaterial&&) = default;
  KeyMaterial Clone() const {
    KeyMaterial copy;
    copy.key = key.Clone();
    copy.decrypt_key = decrypt_key.Clone();
    copy.passphrase = passphrase.Clone();
    copy.recipients = recipients;
    copy.identity_files = identity_files;
    copy.plugins = plugins;
    copy.identities = identities;
    return copy;
  }
};

// The cipher a new keyed or key-less container is written with.
enum class Cipher { kCurrent, kOld, kOlder };

// A request of the file commands (encrypt, compress, decrypt, decompress,
// key-less, unpack).
struct FileRequest {
  std::vector<std::string> sources;
  OutputRule output;
  Format format = Format::kKeyed;
  KeyMaterial keys;
  int level = 2;                    // compression first: 0 none, 1 fast, 2 normal, 3 most
  Cipher cipher = Cipher::kCurrent;  // for new containers
  bool allow_old_ciphers = false;   // decrypting: accept the oldest cipher
  bool armor = false;               // age: ASCII armor
  int work_factor = 18;             // age: log2 of scrypt's N for a new passphrase file
  int max_work_factor = 22;         // age: the most scrypt work a decryption accepts
  bool unpack = false;              // a decrypted tar file is unpacked into a folder
  OverwritePolicy overwrite = OverwritePolicy::kAsk;
  FaultHooks faults{};              // tests: on the files of the compression stage
};

}  // namespace vesk::commands
