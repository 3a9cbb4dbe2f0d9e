// What happens to a file that is already where an output goes. The policy is
// a value a request carries: vesk-cli sets it from --yes/--no, the window
// asks (and a batch remembers a yes or no for all files as a policy of its own).
#pragma once

#include <functional>

#include "core/prompter.h"

namespace vesk::commands {

enum class OverwritePolicy {
  kAsk,       // ask for each file that is there
  kReplace,   // replace without asking
  kKeep,      // keep what is there, skip the output
  kYesToAll,  // the user answered "replace all" among several files
  kNoToAll,   // the user answered "keep all" among several files
};

enum class OverwriteDecision {
  kWrite,    // nothing is there: write
  kReplace,  // something is there and is replaced
  kKeep,     // something is there and stays; the output is not written
};

// The policy as it stands through the files of one command: an answer for
// all of them becomes the policy for the rest.
class OverwriteChoices {
 public:
  explicit OverwriteChoices(OverwritePolicy policy) : policy_(policy) {}

  // The decision for one output; `ask` is called only when the policy asks
  // and something is there.
  OverwriteDecision Decide(bool exists, const std::function<ReplaceAnswer()>& ask);

  OverwritePolicy Policy() const { return policy_; }

 private:
  OverwritePolicy policy_;
};

}  // namespace vesk::commands
