// The strong format on the command line: the age options of encrypt and
// decrypt (which drive the window's age commands), the keys they read, and
// the keygen subcommand.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "cli/key_text.h"
#include "commands/request.h"
#include "core/prompter.h"

namespace CLI {
class App;
}
namespace vesk::cli {

struct AgeOptions {
  std::string format = "jmz";                // --format: "jmz" or "age"
  std::vector<std::string> recipients;       // --recipient age1...
  std::vector<std::string> recipient_files;  // --recipients-file
  std::vector<std::string> identity_files;   // --identity (encrypt: to their recipients)
  std::vector<std::string> plugins;          // -j: plugins' default identities
  bool armor = false;                        // --armor
  int max_work_factor = 22;                  // --max-work-factor

  bool chosen() const { return format == "age"; }
};

// The options of `encrypt` and `decrypt`.
void AddAgeEncryptOptions(CLI::App* encrypt, AgeOptions& age);
void AddAgeDecryptOptions(CLI::App* decrypt, AgeOptions& age);

// A usage error of the age options of `encrypt` (printed), or nullopt.
// `jmz_only` tells whether an option of the compatible format was given
// (--level, --algorithm, --decrypt-key-*).
std::optional<std::string> AgeEncryptUsageError(const AgeOptions& age, const KeySource& key, bool jmz_only);

// Reads what an age encryption needs into `config` and `age`: the
// recipients of --recipient, --recipients-file and --identity (checked,
// encoded again; a protected identity file asks through `prompter`),
// or else the passphrase (--key-file, --key-env, or asked twice on the
// terminal) into both key boxes, as the window wants it confirmed. Returns
// the exit status when it cannot go on (the reason printed).
std::optional<int> ReadAgeEncryptKeys(AgeOptions& age, const KeySource& key, KeyTexts& config, Prompter& prompter);

// A usage error of the key files (standard input named twice), or nullopt.
std::optional<std::string> KeyFilesUsageError(const AgeOptions& age);

// Reads the key of `decrypt`: the container key (as ReadKey shapes it) when
// a source is no age file, the passphrase (as given) for passphrase age
// files; none when every source is an age file of recipients and no key is
// named. Returns the exit status when it cannot go on (the reason printed).
std::optional<int> ReadDecryptKeys(const KeySource& key, const std::vector<std::string>& sources, KeyTexts& config);

// Reads the identity files of `decrypt` once into `keys` (a pipe or "-"
// cannot be read again for the next file). Returns the exit status when
// one cannot be used (the reason printed).
std::optional<int> ReadIdentities(const AgeOptions& age, commands::KeyMaterial& keys);

// Whether a file is an age file (by its first bytes), and one that needs a
// passphrase.
bool IsAgeFile(const std::string& path);
bool IsAgePassphraseFile(const std::string& path);

// vesk-cli keygen [--pq] [--passphrase] [-o FILE] | keygen -y FILE
class KeygenCommand : public CliCommand {
 public:
  explicit KeygenCommand(CLI::App& app);
  KeygenCommand(const KeygenCommand&) = delete;
  KeygenCommand& operator=(const KeygenCommand&) = delete;
  bool Parsed() const override;
  // 0 done, 1 failure (nothing written).
  int Run() override;

 private:
  int Generate() const;
  int Convert() const;

  CLI::App* command_ = nullptr;
  std::string output_;
  std::string identity_;
  bool post_quantum_ = false;  // --pq
  bool protect_ = false;       // --passphrase
};

}  // namespace vesk::cli
