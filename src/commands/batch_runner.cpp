#include "commands/batch_runner.h"

#include <algorithm>

namespace vesk::commands {

Outcome BatchSummary::Overall() const {
  if (items.empty()) return Outcome::kNone;
  // A run that recorded no outcome counts as failed.
  if (Count(Outcome::kFailed) + Count(Outcome::kNone) != 0) return Outcome::kFailed;
  if (Count(Outcome::kCancelled) != 0) return Outcome::kCancelled;
  if (Count(Outcome::kRefused) != 0) return Outcome::kRefused;
  return Count(Outcome::kDoneAfterDamage) != 0 ? Outcome::kDoneAfterDamage : Outcome::kDone;
}

std::vector<std::string> BatchSummary::Written() const {
  std::vector<std::string> written;
  for (const ItemResult& r : items) written.insert(written.end(), r.result.written.begin(), r.result.written.end());
  return written;
}

std::size_t BatchSummary::Count(Outcome outcome) const {
  return static_cast<std::size_t>(
      std::count_if(items.begin(), items.end(), [outcome](const ItemResult& r) { return r.result.outcome == outcome; }));
}

BatchSummary BatchRunner::Run(const Plan& plan, const std::function<RunResult(const PlannedItem&)>& run,
                              const StopToken& stop, const std::function<void(const PlannedItem&)>& refused) {
  BatchSummary summary;
  for (const PlannedItem& item : plan.items) {
    RunResult result;
    if (stop.StopRequested()) {
      result = RunResult::Ended(Outcome::kCancelled, Reason::kCancelled);
    } else if (!item.Runs()) {
      if (refused) refused(item);
      result = RunResult::Ended(Outcome::kRefused, item.refusal->code, item.refusal->detail);
    } else {
      result = run(item);
    }
    summary.items.push_back({item, std::move(result)});
  }
  return summary;
}

}  // namespace vesk::commands
