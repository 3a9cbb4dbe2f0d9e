#include "cli/shred_command.h"

#include <CLI/CLI.hpp>
#include <iostream>

#include "cli/exit_status.h"
#include "cli/signals.h"
#include "cli/terminal.h"
#include "cli/texts.h"
#include "commands/batch_runner.h"
#include "commands/shred_command.h"
#include "core/stop.h"

namespace vesk::cli {
namespace {

// For the lifetime of the guard, the first signal stops the run and answers
// a question being asked No; a second one ends the process.
class StopOnSignal {
 public:
  StopOnSignal(const StopSource& stop, Terminal& terminal) {
    SetCancelHandler([stop, &terminal](int) {
      stop.RequestStop();
      terminal.Interrupt();
    });
  }
  ~StopOnSignal() { SetCancelHandler(nullptr); }
  StopOnSignal(const StopOnSignal&) = delete;
  StopOnSignal& operator=(const StopOnSignal&) = delete;
};

commands::Confirm ConfirmOf(Answer answer) {
  switch (answer) {
    case Answer::kYes: return commands::Confirm::kYes;
    case Answer::kNo: return commands::Confirm::kNo;
    case Answer::kAsk: break;
  }
  return commands::Confirm::kAsk;
}

}  // namespace

int ShredFiles(const std::vector<std::string>& files, Answer answer) {
  commands::ShredRequest request;
  request.files = files;
  request.confirm = ConfirmOf(answer);

  Terminal terminal(TerminalOptions::ForThisProcess(answer));
  terminal.SetTotalSource([&terminal] { return terminal.ProgressTotal(); });
  StopSource stop;
  StopOnSignal guard(stop, terminal);

  commands::ShredCommand command;
  const commands::BatchSummary summary = commands::BatchRunner().Run(
      command.MakePlan(request),
      [&](const commands::PlannedItem& item) {
        terminal.ArmTestHold([&stop] { return stop.StopRequested(); });
        RunContext context{terminal, terminal, stop.Token()};
        RunResult result = command.Run(request, item, context);
        terminal.FinishProgress();
        return result;
      },
      stop.Token());
  for (const std::string& path : summary.Written()) std::cout << path << '\n';
  return ExitStatusOf(summary.Overall());
}

ShredCommand::ShredCommand(CLI::App& app) {
  command_ = app.add_subcommand("shred", text::kShredHelp);
  command_->add_option("FILE", files_, text::kShredFileHelp)->required();
  auto* yes = command_->add_flag("--yes", yes_, text::kShredYesHelp);
  command_->add_flag("--no", no_, text::kShredNoHelp)->excludes(yes);
}

bool ShredCommand::Parsed() const { return command_->parsed(); }

int ShredCommand::Run() { return ShredFiles(files_, yes_ ? Answer::kYes : no_ ? Answer::kNo : Answer::kAsk); }

}  // namespace vesk::cli
