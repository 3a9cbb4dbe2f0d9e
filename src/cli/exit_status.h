// vesk-cli's exit statuses, decided from a run's typed result in one place:
// 0 every output complete, 3 complete but from a source reported damaged,
// 1 refused, cancelled or failed (nothing of it kept), 2 a usage error.
#pragma once

#include "core/run_result.h"

namespace vesk::cli {

inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitDamaged = 3;

constexpr int ExitStatusOf(Outcome outcome) {
  switch (outcome) {
    case Outcome::kDone: return kExitDone;
    case Outcome::kDoneAfterDamage: return kExitDamaged;
    case Outcome::kNone:
    case Outcome::kRefused:
    case Outcome::kCancelled:
    case Outcome::kFailed: break;
  }
  return kExitFailed;
}

inline int ExitStatusOf(const RunResult& result) { return ExitStatusOf(result.outcome); }

}  // namespace vesk::cli
