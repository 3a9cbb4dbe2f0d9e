// The keyed ".jmz" commands: a file compressed first (unless the level is
// 0) and then encrypted into a keyed container. A front end builds a
// FileRequest with Format::kKeyed (sources, output rule, key, the key of a
// container encrypted again, level, cipher, overwrite policy), plans it
// whole and runs each planned item with its context.
#pragma once

#include "commands/command.h"
#include "commands/request.h"
#include "core/prompter.h"
#include "crypto/keyed/random_source.h"

namespace vesk::commands {

// The container of `source` under `rule`: its name with ".jmz" for its
// extension; a name given keeps its stem and gets ".jmz" as well.
std::string KeyedTarget(const OutputRule& rule, const std::string& source);

// Files only: a folder takes the folder road.
class KeyedEncryptCommand : public Command<FileRequest> {
 public:
  // `ask` answers the replace questions of the plan; `random` fills the
  // containers' random bytes.
  KeyedEncryptCommand(Prompter& ask, keyed::RandomSource& random) : ask_(ask), random_(random) {}
  Plan MakePlan(const FileRequest& request) override;
  // Shows its ending itself.
  RunResult Run(const FileRequest& request, const PlannedItem& item, RunContext& context) override;

 private:
  Prompter& ask_;
  keyed::RandomSource& random_;
};

}  // namespace vesk::commands
