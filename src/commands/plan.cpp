#include "commands/plan.h"

#include <climits>
#include <set>

#include "commands/texts.h"
#include "platform/paths.h"

namespace vesk::commands {
namespace {

std::string LastComponent(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string TargetFor(const OutputRule& rule, const std::string& proposed) {
  switch (rule.kind) {
    case OutputRule::Kind::kExact: return rule.path;
    case OutputRule::Kind::kFolder: {
      const std::string folder = rule.path.empty() || rule.path.back() == '/' ? rule.path : rule.path + '/';
      return folder + LastComponent(proposed);
    }
    case OutputRule::Kind::kProposed: break;
  }
  return proposed;
}

std::string FreeName(const std::string& path, const std::function<bool(const std::string&)>& taken) {
  if (!taken(path)) return path;
  // The number goes before the extension of the last component ("x (2).jmz");
  // a name that starts with its only dot (".profile") has no extension.
  const auto slash = path.find_last_of('/');
  const std::size_t name_start = slash == std::string::npos ? 0 : slash + 1;
  auto dot = path.find_last_of('.');
  if (dot == std::string::npos || dot <= name_start) dot = path.size();
  const std::string stem = path.substr(0, dot), ext = path.substr(dot);
  for (unsigned n = 2;; ++n) {
    std::string candidate = stem + " (" + std::to_string(n) + ")" + ext;
    if (!taken(candidate)) return candidate;
  }
}

void DecideTargets(Plan& plan, OverwriteChoices& choices,
                   const std::function<ReplaceAnswer(const PlannedItem&)>& ask,
                   const std::function<bool(const std::string&)>& exists) {
  std::set<std::string> planned;
  for (PlannedItem& item : plan.items) {
    if (!item.Runs()) continue;
    // A name no file system here can hold fails before anything is read.
    if (LastComponent(item.target).size() > NAME_MAX) {
      item.refusal = Refusal{Reason::kUnsupported, plan_text::NameTooLong(item.target)};
      continue;
    }
    if (planned.count(item.target) != 0) {
      // An earlier source of this batch writes that name: never replace an
      // output of the same command, take a free name instead.
      item.target = FreeName(item.target, [&](const std::string& p) { return planned.count(p) != 0 || exists(p); });
    }
    const OverwriteDecision decision =
        choices.Decide(exists(item.target), [&] { return ask ? ask(item) : ReplaceAnswer::kNo; });
    if (decision == OverwriteDecision::kKeep) {
      item.refusal = Refusal{Reason::kTargetKept, {}};
      continue;
    }
    item.replaces = decision == OverwriteDecision::kReplace;
    planned.insert(item.target);
  }
}

}  // namespace vesk::commands
