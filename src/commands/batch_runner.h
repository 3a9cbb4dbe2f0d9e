// Runs the items of a plan one after the other, for the window and vesk-cli
// alike: each item as if it were given alone, refused items reported and
// skipped, nothing started once a stop is requested, and one summary built
// from the results (never from the texts shown).
#pragma once

#include <functional>
#include <vector>

#include "commands/plan.h"
#include "core/run_result.h"
#include "core/stop.h"

namespace vesk::commands {

struct ItemResult {
  PlannedItem item;
  RunResult result;
};

struct BatchSummary {
  std::vector<ItemResult> items;

  // How the batch ended as a whole: refused, cancelled or failed when any
  // item was (in that order of weight: failed, cancelled, refused), else done
  // after damage when any item was, else done.
  Outcome Overall() const;
  std::vector<std::string> Written() const;
  std::size_t Count(Outcome outcome) const;
};

class BatchRunner {
 public:
  // `run` runs one item; `refused` is told of each item the plan refused.
  // Items not started because of a stop end as kCancelled.
  BatchSummary Run(const Plan& plan, const std::function<RunResult(const PlannedItem&)>& run,
                   const StopToken& stop, const std::function<void(const PlannedItem&)>& refused = {});
};

}  // namespace vesk::commands
