// The shredder as a command: each file of the request is confirmed,
// overwritten with zeros and deleted, one after the other, by the engine
// (shred/shredder.h). The window shreds the one file it asked for, vesk-cli
// every file it was given.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "commands/command.h"

namespace vesk::commands {

// How the confirmation question of each file is answered.
enum class Confirm {
  kAsk,  // asked through the run's prompter
  kYes,  // answered yes by the request (shown with its answer, never asked)
  kNo,   // answered no by the request
};

struct ShredRequest {
  std::vector<std::string> files;
  Confirm confirm = Confirm::kAsk;
  // Called when a file's overwriting begins, after its confirmation; may be
  // empty. The window turns its item into the stop then.
  std::function<void()> overwriting;
};

class ShredCommand : public Command<ShredRequest> {
 public:
  // One item per file, in order; a file the shredder cannot take is refused
  // by the run itself, after its question, as the user expects.
  Plan MakePlan(const ShredRequest& request) override;
  RunResult Run(const ShredRequest& request, const PlannedItem& item, RunContext& context) override;
};

}  // namespace vesk::commands
