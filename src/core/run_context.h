// What a command's run works with besides its request: where its progress
// shows, who answers its questions, and the token that tells it to stop.
#pragma once

#include "core/progress.h"
#include "core/prompter.h"
#include "core/stop.h"

namespace vesk {

struct RunContext {
  Progress& progress;
  Prompter& prompter;
  StopToken stop;
};

}  // namespace vesk
