// What a command's run works with besides its request: where its progress
// shows, who answers its questions, and the token that tells it to stop.
#pragma once

#include "core/progress.h"
#include "core/prompter.h"
#include "core/run_result.h"
#include "core/stop.h"

namespace vesk {

struct RunContext {
  Progress& progress;
  Prompter& prompter;
  StopToken stop;
};

// Shows the text a run ended with (`result.reason`): a run that completed or
// was cancelled says so in the status line (a cancel has spoken already),
// any other ending as a message.
inline void ShowEnding(const RunResult& result, Progress& progress, Prompter& prompter) {
  if (result.reason.empty()) return;
  if (result.Completed() || result.outcome == Outcome::kCancelled) {
    progress.ShowStatus(result.reason);
  } else {
    prompter.ReportMessage(result.reason);
  }
}

}  // namespace vesk
