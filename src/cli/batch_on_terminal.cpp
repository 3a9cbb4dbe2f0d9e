#include "cli/batch_on_terminal.h"

#include <iostream>

#include "cli/exit_status.h"
#include "cli/signals.h"
#include "cli/streams.h"
#include "cli/texts.h"

namespace vesk::cli {

void ShowRefusal(Terminal& terminal, const commands::Refusal& refusal) {
  if (refusal.code == Reason::kTargetKept) {
    terminal.ShowStatus(refusal.detail);
  } else {
    terminal.ReportMessage(refusal.detail);
  }
}

BatchOnTerminal::BatchOnTerminal(Terminal& terminal) : terminal_(terminal) {
  SetCancelHandler([this](int) {
    stop_.RequestStop();
    terminal_.Interrupt();  // a question being asked is answered No
  });
  terminal_.SetTotalSource([this] { return terminal_.BarWork(); });
}

BatchOnTerminal::~BatchOnTerminal() { SetCancelHandler(nullptr); }

int BatchOnTerminal::Run(const commands::Plan& plan,
                         const std::function<RunResult(const commands::PlannedItem&, RunContext&)>& run,
                         const std::function<void(const commands::PlannedItem&)>& refused) {
  const bool several = plan.items.size() > 1;
  const commands::BatchSummary summary = commands::BatchRunner().Run(
      plan,
      [&](const commands::PlannedItem& item) {
        RunContext context{terminal_, terminal_, stop_.Token()};
        terminal_.ArmTestHold([this] { return stop_.StopRequested(); });
        const RunResult result = run(item, context);
        terminal_.FinishProgress();
        if (result.Completed()) {
          for (const std::string& path : result.written) {
            if (PrintsPath(path)) std::cout << path << '\n';
          }
          std::cout << std::flush;
          if (result.outcome == Outcome::kDoneAfterDamage && !result.written.empty()) {
            // Done, but from a damaged source: the result may be short or wrong.
            std::cerr << text::DoneAfterDamage(result.written.front()) << '\n';
          }
        } else if (several && (result.outcome == Outcome::kFailed || result.outcome == Outcome::kCancelled)) {
          // Among several files, say which one did not come through.
          std::cerr << text::NotCompleted(item.source) << '\n';
        }
        return result;
      },
      stop_.Token(),
      [&](const commands::PlannedItem& item) {
        if (refused) return refused(item);
        terminal_.ShowStatus(item.refusal->detail);
      });
  return ExitStatusOf(summary.Overall());
}

}  // namespace vesk::cli
