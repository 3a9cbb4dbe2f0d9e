#include "cli/keyed_files_command.h"

#include <iostream>

#include "cli/age_command.h"
#include "cli/batch_on_terminal.h"
#include "cli/exit_status.h"
#include "cli/output_name.h"
#include "cli/signals.h"
#include "cli/terminal.h"
#include "cli/texts.h"
#include "commands/age_command.h"
#include "commands/batch_runner.h"
#include "commands/keyed_command.h"
#include "crypto/keyed/system_random.h"
#include "platform/file_io.h"
#include "platform/paths.h"

namespace vesk::cli {
namespace {

commands::Cipher CipherOf(Algorithm algorithm) {
  switch (algorithm) {
    case Algorithm::kOld: return commands::Cipher::kOld;
    case Algorithm::kOlder: return commands::Cipher::kOlder;
    case Algorithm::kCurrent: break;
  }
  return commands::Cipher::kCurrent;
}

// Takes the key text into a SecretText, leaving nothing of it behind.
SecretText Take(std::string& text) {
  SecretText secret(text);
  text.resize(text.capacity());
  volatile char* bytes = text.data();
  for (std::size_t i = 0; i < text.size(); ++i) bytes[i] = 0;
  return secret;
}

commands::OutputRule RuleOf(const Options& o) {
  if (o.output_folder) return commands::OutputRule::Folder(*o.output_folder);
  if (o.target) return commands::OutputRule::Exact(*o.target);
  return commands::OutputRule::Proposed();
}

bool Given(const KeySource& key) { return !key.file.empty() || !key.env.empty(); }

// The request of the command line; nullopt, with the exit status, when the
// keys cannot be had (the reason printed).
std::optional<commands::FileRequest> RequestOf(const Options& o, int& status) {
  commands::FileRequest request;
  request.format = commands::Format::kKeyed;
  request.sources = o.sources;
  request.output = RuleOf(o);
  request.level = o.level;
  request.cipher = CipherOf(o.algorithm);
  // --yes and --no answer the replace question on the terminal, printed
  // with its answer; without them a terminal asks.
  request.overwrite = commands::OverwritePolicy::kAsk;
  request.allow_old_ciphers = o.legacy;
  status = kExitFailed;
  if (o.command == Command::kDecrypt) {
    KeyTexts keys;
    if (const auto failed = ReadDecryptKeys(o.key, o.sources, keys)) {
      status = *failed;
      return std::nullopt;
    }
    request.keys.key = Take(keys.decrypt_key);
    if (CharacterCount(request.keys.key.str()) > kMaxKeyCharacters) {
      std::cerr << text::KeyTooLong(kMaxKeyCharacters) << '\n';
      return std::nullopt;
    }
    return request;
  }
  try {
    std::optional<std::string> key = ReadKey(o.key, text::kEncryptKeyPrompt, true);
    if (!key || key->empty()) {
      std::cerr << text::kNoEncryptKey << '\n';
      return std::nullopt;
    }
    request.keys.key = Take(*key);
    // The key of a container that is encrypted again.
    if (Given(o.decrypt_key)) {
      std::string decrypt_key = ReadKey(o.decrypt_key, "", false).value_or("");
      request.keys.decrypt_key = Take(decrypt_key);
    }
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
    return std::nullopt;
  }
  for (const SecretText* key : {&request.keys.key, &request.keys.decrypt_key}) {
    if (CharacterCount(key->str()) > kMaxKeyCharacters) {
      std::cerr << text::KeyTooLong(kMaxKeyCharacters) << '\n';
      return std::nullopt;
    }
  }
  return request;
}

}  // namespace

bool TakesKeyedRoad(const Options& o) {
  if (o.sources.empty()) return false;
  if (o.command == Command::kEncrypt) return !o.age.chosen();
  // A tar file that comes out is offered for unpacking on the folder road,
  // as is every output of --unpack; age files take the age road.
  if (o.command != Command::kDecrypt) return false;
  for (const std::string& source : o.sources) {
    if (IsAgeFile(source)) return false;
  }
  return true;
}

int RunMixedDecrypt(const Options& o) {
  WatchSignals();
  KeyTexts keys;
  if (const auto failed = ReadDecryptKeys(o.key, o.sources, keys)) return *failed;
  if (CharacterCount(keys.decrypt_key) > kMaxKeyCharacters) {
    std::cerr << text::KeyTooLong(kMaxKeyCharacters) << '\n';
    return kExitFailed;
  }
  commands::FileRequest keyed_request;
  keyed_request.format = commands::Format::kKeyed;
  keyed_request.output = RuleOf(o);
  keyed_request.allow_old_ciphers = o.legacy;
  keyed_request.keys.key = Take(keys.decrypt_key);
  commands::FileRequest age_request;
  age_request.format = commands::Format::kAge;
  age_request.output = RuleOf(o);
  age_request.max_work_factor = o.age.max_work_factor;
  age_request.keys.passphrase = Take(keys.decrypt_passphrase);
  age_request.keys.identity_files = o.age.identity_files;
  age_request.keys.plugins = o.age.plugins;
  if (const auto failed = ReadIdentities(o.age, age_request.keys)) return *failed;
  std::vector<bool> is_age;
  for (const std::string& source : o.sources) {
    is_age.push_back(IsAgeFile(source));
    (is_age.back() ? age_request : keyed_request).sources.push_back(source);
  }

  Terminal terminal(TerminalOptions::ForThisProcess(o.answer));
  BatchOnTerminal batch(terminal);  // the first signal stops the run
  const StopSource& stop = batch.Stop();
  const commands::UnpackQuestion ask_unpack = [&](const std::string& question, const std::string&) {
    return terminal.Answered(question, o.unpack);
  };
  commands::KeyedDecryptCommand keyed(ask_unpack);
  commands::AgeDecryptCommand age;
  // Each source planned by its own command, in the order given.
  commands::Plan age_plan = age.MakePlan(age_request);
  commands::DecideAgeTargets(age_plan, age_request, false, terminal);
  const commands::Plan keyed_plan = keyed.MakePlan(keyed_request);
  commands::Plan plan;
  std::size_t next_age = 0, next_keyed = 0;
  for (const bool in_age : is_age) {
    plan.items.push_back(in_age ? age_plan.items[next_age++] : keyed_plan.items[next_keyed++]);
  }
  const auto age_item = [&](const commands::PlannedItem& item) {
    return is_age[static_cast<std::size_t>(&item - plan.items.data())];
  };

  const commands::BatchSummary summary = commands::BatchRunner().Run(
      plan,
      [&](const commands::PlannedItem& item) {
        terminal.ArmTestHold([&stop] { return stop.StopRequested(); });
        RunContext context{terminal, terminal, stop.Token()};
        const bool in_age = age_item(item);
        RunResult result;
        if (in_age) {
          result = age.Run(age_request, item, context);
          terminal.FinishProgress();
          ShowEnding(result, terminal, terminal);
          result = commands::UnpackDecryptedTar(result, ask_unpack, context);
        } else {
          result = keyed.Run(keyed_request, item, context);
        }
        terminal.FinishProgress();
        if (result.Completed()) {
          const std::string& written = result.written.empty() ? item.target : result.written.front();
          std::cout << written << '\n' << std::flush;
          // Done, but from a damaged source: the result may be short or wrong.
          if (result.outcome == Outcome::kDoneAfterDamage) std::cerr << text::DoneAfterDamage(written) << '\n';
        } else {
          // Among several files, say which one did not come through.
          std::cerr << text::NotCompleted(item.source) << '\n';
        }
        return result;
      },
      stop.Token(),
      [&](const commands::PlannedItem& item) {
        const commands::Refusal& refusal = *item.refusal;
        ShowRefusal(terminal, refusal);
        std::cerr << text::NotCompleted(item.source) << '\n';
      });
  return ExitStatusOf(summary.Overall());
}

int RunKeyedFiles(const Options& o) {
  WatchSignals();
  int status = kExitFailed;
  std::optional<commands::FileRequest> request = RequestOf(o, status);
  if (!request) return status;

  Terminal terminal(TerminalOptions::ForThisProcess(o.answer, o.algorithm));
  BatchOnTerminal batch(terminal);  // the first signal stops the run
  const StopSource& stop = batch.Stop();

  keyed::SystemRandom random;
  commands::KeyedEncryptCommand encrypt(terminal, random);
  // Answered by --unpack, never asked; an existing folder is never merged
  // into, so there is no other name.
  commands::KeyedDecryptCommand decrypt(
      [&](const std::string& question, const std::string&) { return terminal.Answered(question, o.unpack); });
  commands::Command<commands::FileRequest>& command =
      o.command == Command::kEncrypt ? static_cast<commands::Command<commands::FileRequest>&>(encrypt) : decrypt;
  const commands::Plan plan = command.MakePlan(*request);
  const bool several = o.sources.size() > 1;
  const commands::BatchSummary summary = commands::BatchRunner().Run(
      plan,
      [&](const commands::PlannedItem& item) {
        terminal.ArmTestHold([&stop] { return stop.StopRequested(); });
        RunContext context{terminal, terminal, stop.Token()};
        const RunResult result = command.Run(*request, item, context);
        terminal.FinishProgress();
        if (result.Completed()) {
          const std::string& written = result.written.empty() ? item.target : result.written.front();
          std::cout << written << '\n' << std::flush;
          // Done, but from a damaged source: the result may be short or wrong.
          if (result.outcome == Outcome::kDoneAfterDamage) std::cerr << text::DoneAfterDamage(written) << '\n';
        } else if (several) {
          // Among several files, say which one did not come through.
          std::cerr << text::NotCompleted(item.source) << '\n';
        }
        return result;
      },
      stop.Token(),
      [&](const commands::PlannedItem& item) {
        const commands::Refusal& refusal = *item.refusal;
        ShowRefusal(terminal, refusal);
        if (several) std::cerr << text::NotCompleted(item.source) << '\n';
      });
  return ExitStatusOf(summary.Overall());
}

}  // namespace vesk::cli
