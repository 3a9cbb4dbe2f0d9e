// A command's planned items run one after the other on the terminal, as
// every file subcommand of vesk-cli runs them: the first signal stops the
// run (and answers a question being asked No), each item's written paths go
// to standard output as it completes (with a note when its source was
// damaged), a file that did not come through among several is named, and the
// exit status comes from the results.
#pragma once

#include <functional>

#include "cli/terminal.h"
#include "commands/batch_runner.h"
#include "commands/plan.h"
#include "core/run_context.h"
#include "core/stop.h"

namespace vesk::cli {

// Shows why a planned item was refused: a kept target in the status line,
// any other refusal as a message.
void ShowRefusal(Terminal& terminal, const commands::Refusal& refusal);

class BatchOnTerminal {
 public:
  // The first signal from now on stops the run; the destructor lets go of it.
  explicit BatchOnTerminal(Terminal& terminal);
  ~BatchOnTerminal();
  BatchOnTerminal(const BatchOnTerminal&) = delete;
  BatchOnTerminal& operator=(const BatchOnTerminal&) = delete;

  // Runs each item of `plan` with `run`; a refused item is shown by
  // `refused`, else its reason in the status line. Returns the exit status
  // of the summary.
  int Run(const commands::Plan& plan, const std::function<RunResult(const commands::PlannedItem&, RunContext&)>& run,
          const std::function<void(const commands::PlannedItem&)>& refused = {});

  const StopSource& Stop() const { return stop_; }

 private:
  Terminal& terminal_;
  StopSource stop_;
};

}  // namespace vesk::cli
