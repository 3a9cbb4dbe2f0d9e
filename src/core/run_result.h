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

// Why a run did not complete, as a value a caller can act on; the detail
// text says it to the user. kUnspecified: a run that gave its reason as text
// only.
enum class Reason {
  kNone,           // the run completed
  kUnspecified,
  kNoSource,       // the source is missing or not a file the command takes
  kNotAContainer,  // the source is not of the format the command reads
  kSameFile,       // source and target are one file
  kTargetKept,     // the target exists and is not to be replaced
  kNoKey,          // no key, passphrase, recipient or identity to work with
  kWrongKey,       // the key, passphrase or identity does not open the source
  kDamaged,        // the source is damaged or cut short
  kUnsupported,    // a cipher, version or size the command does not take
  kNoSpace,        // the disk is full
  kIo,             // reading or writing failed
  kCancelled,      // the user stopped it
  kNothingChosen,  // a dialog was cancelled before anything began
  kMixedKeys,      // post-quantum and classic recipients given for one file
};

struct RunResult {
  Outcome outcome = Outcome::kNone;
  std::vector<std::string> written;  // the files written, in the order made
  // The text the run ends with: why it did not complete, or, for a run that
  // returns its result, what its status line says when it completed.
  std::string reason;
  Reason code = Reason::kNone;       // the same as a value

  bool Completed() const { return outcome == Outcome::kDone || outcome == Outcome::kDoneAfterDamage; }

  static RunResult Done(std::vector<std::string> written, bool damaged = false) {
    return {damaged ? Outcome::kDoneAfterDamage : Outcome::kDone, std::move(written), {}, Reason::kNone};
  }
  static RunResult Ended(Outcome outcome, Reason code, std::string detail = {}) {
    return {outcome, {}, std::move(detail), code};
  }
};

}  // namespace vesk
