// The typed result of one command run: how it ended, the files it wrote and,
// when it did not complete, why. Front ends decide success, damage and exit
// status from this value; the texts the run showed are presentation only.
#pragma once

#include <string>
#include <vector>

namespace vesk {

enum class Outcome {
  kNone,              // no run ended since the last start
  kDone,              // every output complete
  kDoneAfterDamage,   // complete, but the source was reported damaged
  kRefused,           // refused before anything was written
  kCancelled,         // stopped by the user
  kFailed,            // failed while running; nothing of it was kept
};

struct RunResult {
  Outcome outcome = Outcome::kNone;
  std::vector<std::string> written;  // the files written, in the order made
  std::string reason;                // why a run did not complete

  bool Completed() const { return outcome == Outcome::kDone || outcome == Outcome::kDoneAfterDamage; }
};

}  // namespace vesk
