#include "cli/age_command.h"

#include <unistd.h>

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <iostream>
#include <sstream>

#include "cli/texts.h"
#include "cli/terminal.h"
#include "crypto/age/keys.h"
#include "crypto/age/protected_identity.h"
#include "crypto/age/ssh_keys.h"
#include "crypto/age_files/engine.h"
#include "crypto/age_files/key_files.h"
#include "crypto/age_files/texts.h"
#include "platform/staged_file.h"

namespace vesk::cli {
namespace {

// A key file read once, "-" being standard input.
age::SecretBytes ReadKeyInput(const std::string& path) { return age_files::ReadKeyFile(path); }

// The recipients of `identities` once loaded (`load_error` tells why they
// could not be); prints why there are none.
std::optional<std::vector<std::string>> RecipientsOrSay(const age_files::IdentitySet& identities,
                                                        const std::optional<std::string>& load_error) {
  std::string error = load_error.value_or("");
  std::optional<std::vector<std::string>> out;
  if (!load_error) out = identities.Recipients(error);
  if (!out) std::cerr << error << '\n';
  return out;
}

// A key option takes exactly one value each time it is given and may be
// given again, so that "-r KEY a.txt" leaves a.txt a source.
void AddRepeatable(CLI::App* app, const std::string& names, std::vector<std::string>& values, const char* help) {
  app->add_option(names, values, help)->allow_extra_args(false);
}

}  // namespace

void AddAgeEncryptOptions(CLI::App* encrypt, AgeOptions& age) {
  encrypt->add_option("--format", age.format, cli::text::kFormatHelp)
      ->check(CLI::IsMember({"jmz", "age"}));
  AddRepeatable(encrypt, "-r,--recipient", age.recipients, cli::text::kRecipientHelp);
  AddRepeatable(encrypt, "-R,--recipients-file", age.recipient_files, cli::text::kRecipientsFileHelp);
  AddRepeatable(encrypt, "-i,--identity", age.identity_files, cli::text::kEncryptIdentityHelp);
  encrypt->add_flag("--armor", age.armor, cli::text::kArmorHelp);
}

void AddAgeDecryptOptions(CLI::App* decrypt, AgeOptions& age) {
  AddRepeatable(decrypt, "-i,--identity", age.identity_files, cli::text::kIdentityHelp);
  AddRepeatable(decrypt, "-j", age.plugins, cli::text::kPluginHelp);
  decrypt->add_option("--max-work-factor", age.max_work_factor, cli::text::kMaxWorkFactorHelp)
      ->check(CLI::Range(1, age::kMaxScryptLogN));
}

std::optional<std::string> KeyFilesUsageError(const AgeOptions& age) {
  // Standard input can be read once: one key file at most may be "-".
  std::size_t stdin_uses = 0;
  for (const auto* files : {&age.recipient_files, &age.identity_files}) {
    stdin_uses += static_cast<std::size_t>(std::count(files->begin(), files->end(), "-"));
  }
  if (stdin_uses > 1) return std::string(cli::text::kStdinOnce);
  return std::nullopt;
}

std::optional<std::string> AgeEncryptUsageError(const AgeOptions& age, const KeySource& key, bool jmz_only) {
  const bool to_recipients = !age.recipients.empty() || !age.recipient_files.empty() || !age.identity_files.empty();
  if (!age.chosen()) {
    if (to_recipients || age.armor) return cli::text::kAgeOnlyOptions;
    return std::nullopt;
  }
  if (jmz_only) return cli::text::kJmzOnlyOptions;
  if (to_recipients && (!key.file.empty() || !key.env.empty())) {
    return cli::text::kPassphraseOrRecipients;
  }
  return std::nullopt;
}

std::optional<int> ReadAgeEncryptKeys(AgeOptions& age, const KeySource& key, KeyTexts& config, Prompter& prompter) {
  namespace text = age_files::text;
  // The recipients: each given key, then the keys of each file, then those
  // of each identity file, in order.
  std::vector<std::string> recipients;
  for (const std::string& r : age.recipients) {
    const age_files::RecipientList list = age_files::ParseRecipients(r);
    if (!list.error.empty() || list.recipients.size() != 1) {
      std::cerr << age_files::RecipientRefusal(r) << '\n';
      return 1;
    }
    recipients.push_back(list.recipients[0]);
  }
  for (const std::string& path : age.recipient_files) {
    std::string content;
    try {
      content = std::string(ReadKeyInput(path).view());
    } catch (const std::exception&) {
      std::cerr << cli::text::RecipientsFileUnreadable(path) << '\n';
      return 1;
    }
    const age_files::RecipientList list = age_files::ParseRecipients(content);
    if (!list.error.empty()) {
      std::cerr << path << ": " << list.error << '\n';
      return 1;
    }
    recipients.insert(recipients.end(), list.recipients.begin(), list.recipients.end());
  }
  if (!age.identity_files.empty()) {
    age_files::IdentitySet identities(/*encrypting=*/true);
    identities.Bind(&prompter);
    const auto theirs = RecipientsOrSay(identities, identities.Load(age.identity_files, age.max_work_factor));
    if (!theirs) return 1;
    recipients.insert(recipients.end(), theirs->begin(), theirs->end());
  }
  if (!recipients.empty()) {
    // Post-quantum recipients beside classic ones would leave the file open
    // to a quantum computer: refused before anything is written.
    if (age_files::MixesPostQuantum(recipients)) {
      std::cerr << text::kMixedRecipients << '\n';
      return 1;
    }
    age.recipients = std::move(recipients);
    return std::nullopt;
  }

  std::optional<std::string> passphrase;
  bool typed_empty = false;
  try {
    passphrase = ReadPassphrase(key, cli::text::kEncryptPassphraseOrGenerate, true, &typed_empty);
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
    return 1;
  }
  if (typed_empty) {
    // Nothing typed at the prompt: a strong passphrase is made and shown
    // (on standard error, never into the data).
    age::SecretBytes made = age_files::GeneratePassphrase();
    if (made.empty()) {
      std::cerr << text::kInternalError << '\n';
      return 1;
    }
    passphrase = std::string(made.view());
    std::cerr << cli::text::GeneratedPassphrase(*passphrase) << '\n';
  }
  if (!passphrase || passphrase->empty()) {
    std::cerr << cli::text::kNoEncryptPassphrase << '\n';
    return 1;
  }
  if (!age_files::IsUtf8(*passphrase)) {
    age_files::WipeString(*passphrase);
    std::cerr << text::kPassphraseNotUtf8 << '\n';
    return 1;
  }
  // Both boxes hold it: it was given (or typed twice) as meant.
  config.encrypt_passphrase = *passphrase;
  config.decrypt_passphrase = *passphrase;
  age_files::WipeString(*passphrase);
  return std::nullopt;
}

std::optional<int> ReadDecryptKeys(const KeySource& key, const std::vector<std::string>& sources, KeyTexts& config) {
  // Which keys the files need: a key for a container (or anything but an
  // age file), a passphrase for a passphrase age file; an age file of
  // recipients needs only --identity.
  bool container = false, passphrase = false;
  for (const std::string& source : sources) {
    if (!IsAgeFile(source)) {
      container = true;
    } else if (IsAgePassphraseFile(source)) {
      passphrase = true;
    }
  }
  const bool given = !key.file.empty() || !key.env.empty();
  if (!container && !passphrase && !given) return std::nullopt;
  try {
    if (given) {
      config.decrypt_passphrase = ReadPassphrase(key, "", false).value_or("");
      if (container) config.decrypt_key = ReadKey(key, "", false).value_or("");
    } else {
      // Asked once on a terminal; a typed line holds no line break, so both
      // readings of it are the same text.
      std::string typed = ReadPassphrase(key, cli::text::kDecryptKeyPrompt, false).value_or("");
      if (container) config.decrypt_key = NormalizeKeyText(typed);
      config.decrypt_passphrase = typed;
      age_files::WipeString(typed);
    }
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
    return 1;
  }
  if (container && config.decrypt_key.empty()) {
    std::cerr << cli::text::kNoDecryptKey << '\n';
    return 1;
  }
  return std::nullopt;
}

std::optional<int> ReadIdentities(const AgeOptions& age, commands::KeyMaterial& keys) {
  if (age.identity_files.empty()) return std::nullopt;
  auto identities = std::make_shared<age_files::IdentitySet>();
  if (auto error = identities->Load(age.identity_files, age.max_work_factor)) {
    std::cerr << *error << '\n';
    return 1;
  }
  keys.identities = std::move(identities);
  return std::nullopt;
}

bool IsAgeFile(const std::string& path) { return age_files::DetectFile(path) != age_files::FileKind::kNotAge; }

bool IsAgePassphraseFile(const std::string& path) {
  return IsAgeFile(path) && age_files::SummarizeHeader(path).passphrase;
}

KeygenCommand::KeygenCommand(CLI::App& app) {
  command_ = app.add_subcommand("keygen", cli::text::kKeygenHelp);
  auto* output = command_->add_option("-o,--output", output_, cli::text::kKeygenOutputHelp);
  auto* convert = command_->add_option("-y", identity_, cli::text::kKeygenConvertHelp)->excludes(output);
  command_->add_flag("--pq", post_quantum_, cli::text::kKeygenPqHelp)->excludes(convert);
  command_->add_flag("--passphrase", protect_, cli::text::kKeygenPassphraseHelp)->excludes(convert);
}

bool KeygenCommand::Parsed() const { return command_->parsed(); }

int KeygenCommand::Run() { return identity_.empty() ? Generate() : Convert(); }

int KeygenCommand::Generate() const {
  namespace text = age_files::text;
  std::optional<age_files::NewIdentity> identity = age_files::GenerateIdentity(std::time(nullptr), post_quantum_);
  if (!identity) {
    std::cerr << text::kInternalError << '\n';
    return 1;
  }
  if (protect_) {
    // The identity file encrypted to a passphrase typed twice, armored.
    Terminal terminal(TerminalOptions::ForThisProcess(Answer::kAsk));
    std::optional<SecretText> first = terminal.AskSecret(cli::text::kKeygenPassphrasePrompt);
    if (!first) {
      std::cerr << cli::text::kKeygenNoPassphrase << '\n';
      return 1;
    }
    std::optional<SecretText> second = terminal.AskSecret(cli::text::kKeygenPassphraseAgain);
    if (!second || second->view() != first->view()) {
      std::cerr << cli::text::kKeygenPassphraseMismatch << '\n';
      return 1;
    }
    std::optional<age::SecretBytes> sealed =
        age_files::ProtectKeyFile(identity->file_text, age::SecretBytes::FromString(first->view()));
    if (!sealed) {
      std::cerr << text::kInternalError << '\n';
      return 1;
    }
    identity->file_text = std::move(*sealed);
  }
  if (output_.empty()) {
    std::cout.write(reinterpret_cast<const char*>(identity->file_text.data()),
                    static_cast<std::streamsize>(identity->file_text.size()));
    std::cout.flush();
    if (!std::cout) return 1;
    std::cerr << cli::text::kPublicKeyLabel << identity->public_key << '\n';
    return 0;
  }
  try {
    age_files::WriteNewKeyFile(output_, identity->file_text);
  } catch (const TargetExistsError&) {
    std::cerr << text::IdentityExists(output_) << '\n';
    return 1;
  } catch (const std::exception&) {
    std::cerr << text::IdentityNotWritten(output_) << '\n';
    return 1;
  }
  std::cerr << cli::text::IdentityWritten(output_) << '\n';
  std::cout << identity->public_key << '\n' << std::flush;
  return 0;
}

int KeygenCommand::Convert() const {
  std::optional<std::vector<std::string>> recipients;
  age::SecretBytes text;
  try {
    text = ReadKeyInput(identity_);
  } catch (const std::exception&) {
    std::cerr << cli::text::IdentityFileUnreadable(identity_) << '\n';
    return 1;
  }
  if (age::ProtectedIdentityFile::Is(text.view()) || age::LooksLikeSshPrivateKey(text.view())) {
    // A protected identity file asks for its passphrase; an SSH key gives
    // its public key.
    Terminal terminal(TerminalOptions::ForThisProcess(Answer::kAsk));
    age_files::IdentitySet identities;
    identities.Bind(&terminal);
    recipients = RecipientsOrSay(identities, identities.Add(identity_, std::move(text), age::kDefaultMaxScryptLogN));
    if (!recipients) return 1;
  } else {
    recipients = age_files::RecipientsOfIdentities(text.view());
  }
  if (!recipients) {
    std::cerr << cli::text::NotAnIdentityFile(identity_) << '\n';
    return 1;
  }
  for (const std::string& r : *recipients) std::cout << r << '\n';
  std::cout.flush();
  return std::cout ? 0 : 1;
}

}  // namespace vesk::cli
