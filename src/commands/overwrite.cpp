#include "commands/overwrite.h"

namespace vesk::commands {

OverwriteDecision OverwriteChoices::Decide(bool exists, const std::function<ReplaceAnswer()>& ask) {
  if (!exists) return OverwriteDecision::kWrite;
  switch (policy_) {
    case OverwritePolicy::kReplace:
    case OverwritePolicy::kYesToAll: return OverwriteDecision::kReplace;
    case OverwritePolicy::kKeep:
    case OverwritePolicy::kNoToAll: return OverwriteDecision::kKeep;
    case OverwritePolicy::kAsk: break;
  }
  switch (ask ? ask() : ReplaceAnswer::kNo) {
    case ReplaceAnswer::kYes: return OverwriteDecision::kReplace;
    case ReplaceAnswer::kYesToAll: policy_ = OverwritePolicy::kYesToAll; return OverwriteDecision::kReplace;
    case ReplaceAnswer::kNoToAll: policy_ = OverwritePolicy::kNoToAll; return OverwriteDecision::kKeep;
    case ReplaceAnswer::kNo: break;
  }
  return OverwriteDecision::kKeep;
}

}  // namespace vesk::commands
