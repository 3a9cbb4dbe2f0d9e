// The shape every command has, whichever front end starts it: a request is
// planned (each source's target, mode and whether it replaces something, or
// a typed refusal) and then each planned item runs with a context (progress,
// questions, a stop token) and returns a typed result. A command never
// touches a widget or a button: the window shows its busy state around the
// run, vesk-cli maps the result to its exit status.
#pragma once

#include "commands/plan.h"
#include "core/run_context.h"
#include "core/run_result.h"

namespace vesk::commands {

template <class Request>
class Command {
 public:
  Command() = default;
  virtual ~Command() = default;
  Command(const Command&) = delete;
  Command& operator=(const Command&) = delete;

  // Plans every source of `request` before anything is written.
  virtual Plan MakePlan(const Request& request) = 0;
  // Runs one planned item to its end; a stop requested through the context
  // ends it as kCancelled with nothing of it left.
  virtual RunResult Run(const Request& request, const PlannedItem& item, RunContext& context) = 0;
};

}  // namespace vesk::commands
