// The strong format's file commands: a file into an age file (to a
// passphrase or to recipients, binary or armored) and an age file back. The
// window and vesk-cli both plan and run them; a folder is packed into
// "DIR.tar.age" through the folder engine's age road, which shows its own
// ending (its result's text is only a cancel's).
#pragma once

#include <optional>
#include <string>

#include "commands/command.h"
#include "commands/request.h"
#include "core/prompter.h"

namespace vesk::commands {

class AgeEncryptCommand : public Command<FileRequest> {
 public:
  // Each source's target: the output rule applied to "SOURCE.age"; an
  // output that is its own source is refused.
  Plan MakePlan(const FileRequest& request) override;
  RunResult Run(const FileRequest& request, const PlannedItem& item, RunContext& context) override;
};

class AgeDecryptCommand : public Command<FileRequest> {
 public:
  // Each source's target: the output rule applied to its plain name
  // (AgePlainName). A source whose header no key opens, or that needs a key
  // the request lacks, is refused before anything is asked.
  Plan MakePlan(const FileRequest& request) override;
  RunResult Run(const FileRequest& request, const PlannedItem& item, RunContext& context) override;

  // Why `source` cannot be decrypted with the request's keys, judged from
  // its header alone; nullopt when it can be tried.
  static std::optional<Refusal> CheckKeys(const FileRequest& request, const std::string& source);
};

// The proposed name of an age file's plaintext: without ".age", else with ".out".
std::string AgePlainName(const std::string& age_path);

// Asks, through `prompter`, whether the target of each planned item that
// is there already may be replaced (as `request.overwrite` says); a target
// kept becomes a refusal whose detail is the command's cancel text.
void DecideAgeTargets(Plan& plan, const FileRequest& request, bool encrypting, Prompter& prompter);

}  // namespace vesk::commands
