#include "cli/age_files_command.h"

#include <iostream>
#include <mutex>

#include "cli/batch_on_terminal.h"
#include "cli/exit_status.h"
#include "cli/signals.h"
#include "cli/streams.h"
#include "cli/terminal.h"
#include "cli/texts.h"
#include "commands/age_command.h"
#include "commands/batch_runner.h"
#include "commands/unpack_offer.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/stream_target.h"

namespace vesk::cli {
namespace {

bool Encrypting(const Options& o) { return o.command == Command::kEncrypt; }

// The request of the command line; nullopt, with the exit status, when the
// keys cannot be had (the reason printed).
std::optional<commands::FileRequest> RequestOf(const Options& o, int& status, Terminal& terminal) {
  commands::FileRequest request;
  request.format = commands::Format::kAge;
  request.sources = o.sources;
  if (o.output_folder) {
    request.output = commands::OutputRule::Folder(*o.output_folder);
  } else if (o.target) {
    request.output = commands::OutputRule::Exact(*o.target);
  }
  request.armor = o.age.armor;
  request.max_work_factor = o.age.max_work_factor;
  // --yes and --no answer the replace question on the terminal, printed
  // with its answer; without them a terminal asks.
  request.overwrite = commands::OverwritePolicy::kAsk;
  KeyTexts keys;
  if (Encrypting(o)) {
    AgeOptions age = o.age;
    if (const auto failed = ReadAgeEncryptKeys(age, o.key, keys, terminal)) {
      status = *failed;
      return std::nullopt;
    }
    request.keys.recipients = age.recipients;
    if (request.keys.recipients.empty()) request.keys.passphrase = SecretText(keys.encrypt_passphrase);
  } else {
    if (const auto failed = ReadDecryptKeys(o.key, o.sources, keys)) {
      status = *failed;
      return std::nullopt;
    }
    request.keys.passphrase = SecretText(keys.decrypt_passphrase);
    request.keys.identity_files = o.age.identity_files;
    request.keys.plugins = o.age.plugins;
    if (const auto failed = ReadIdentities(o.age, request.keys)) {
      status = *failed;
      return std::nullopt;
    }
  }
  return request;
}

}  // namespace

bool TakesAgeRoad(const Options& o) {
  if (o.sources.empty()) return false;
  if (Encrypting(o)) return o.age.chosen();
  if (o.command != Command::kDecrypt) return false;
  for (const std::string& source : o.sources) {
    if ((!FileExists(source) && !IsStandardStream(source)) || !IsAgeFile(source)) return false;
  }
  return true;
}

int RunAgeFiles(const Options& o) {
  WatchSignals();
  int status = kExitFailed;
  Terminal terminal(TerminalOptions::ForThisProcess(o.answer));
  std::optional<commands::FileRequest> request = RequestOf(o, status, terminal);
  if (!request) return status;

  BatchOnTerminal batch(terminal);  // the first signal stops the run
  const StopSource& stop = batch.Stop();

  commands::AgeEncryptCommand encrypt;
  commands::AgeDecryptCommand decrypt;
  commands::Command<commands::FileRequest>& command =
      Encrypting(o) ? static_cast<commands::Command<commands::FileRequest>&>(encrypt) : decrypt;
  commands::Plan plan = command.MakePlan(*request);
  if (Encrypting(o)) {
    // A file that is not there has nothing to encrypt.
    for (commands::PlannedItem& item : plan.items) {
      if (!FileExists(item.source) && !DirectoryExists(item.source) && !IsStandardStream(item.source)) item.refusal = commands::Refusal{Reason::kNoSource, text::EncryptSourceMissing(item.source)};
    }
  }
  commands::DecideAgeTargets(plan, *request, Encrypting(o), terminal);

  const bool several = o.sources.size() > 1;
  const commands::BatchSummary summary = commands::BatchRunner().Run(
      plan,
      [&](const commands::PlannedItem& item) {
        terminal.ArmTestHold([&stop] { return stop.StopRequested(); });
        RunContext context{terminal, terminal, stop.Token()};
        RunResult result = command.Run(*request, item, context);
        terminal.FinishProgress();
        ShowEnding(result, terminal, terminal);
        // A tar file that comes out is offered for unpacking, answered by
        // --unpack, never asked; the unpacking shows its own ending.
        const bool decrypted = result.Completed();
        if (!Encrypting(o)) {
          result = commands::UnpackDecryptedTar(
              result, [&](const std::string& question, const std::string&) { return terminal.Answered(question, o.unpack); },
              context);
          terminal.FinishProgress();
        }
        if (result.Completed()) {
          const std::string written = result.written.empty() ? item.target : result.written.front();
          if (PrintsPath(written)) std::cout << written << '\n' << std::flush;
        } else if (several && (result.outcome != Outcome::kRefused || decrypted)) {
          std::cerr << text::NotCompleted(item.source) << '\n';
        }
        return result;
      },
      stop.Token(),
      [&](const commands::PlannedItem& item) {
        const commands::Refusal& refusal = *item.refusal;
        ShowRefusal(terminal, refusal);
        if (several && refusal.code == Reason::kNoSource) std::cerr << text::NotCompleted(item.source) << '\n';
      });
  return ExitStatusOf(summary.Overall());
}

}  // namespace vesk::cli
