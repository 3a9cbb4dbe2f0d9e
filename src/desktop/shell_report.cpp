// How a registration's typed result reads: one line per step for vesk-cli,
// one summary line for the window's status bar.
#include <algorithm>
#include <string>
#include <vector>

#include "desktop/shell_integration.h"
#include "desktop/texts.h"

namespace vesk::shell {
namespace {

std::string Joined(const std::vector<std::string>& parts, const char* separator) {
  std::string out;
  for (const std::string& p : parts) out += (out.empty() ? "" : separator) + p;
  return out;
}

void AddOnce(std::vector<std::string>& list, const std::string& item) {
  if (std::find(list.begin(), list.end(), item) == list.end()) list.push_back(item);
}

// What happened, without the place.
std::string OutcomeText(const Step& s) {
  switch (s.outcome) {
    case Outcome::kWritten: return s.place == Place::kDatabases ? text::kUpdated : text::kWritten;
    case Outcome::kUnchanged: return text::kUnchanged;
    case Outcome::kRemoved: return text::kRemoved;
    case Outcome::kEntriesRemoved: return text::kEntriesRemoved;
    case Outcome::kAbsent: return text::kAbsent;
    case Outcome::kKeptForeign: return text::kKeptForeign;
    case Outcome::kRefusedForeign: return text::kRefusedForeign;
    case Outcome::kFallback: return text::Fallback(s.detail);
    case Outcome::kToolMissing: return text::ToolMissing(s.detail);
    case Outcome::kFailed: return text::Failed(s.detail);
    case Outcome::kSkipped: return text::kSkipped;
  }
  return {};
}

// A step in the summary: the place and why, with the path where it helps
// the user find the file.
std::string Brief(const Step& s) {
  std::string text = PlaceName(s.place) + ": " + OutcomeText(s);
  if ((s.outcome == Outcome::kRefusedForeign || s.outcome == Outcome::kKeptForeign) && !s.path.empty()) {
    text += " (" + s.path + ")";
  }
  return text;
}

}  // namespace

std::string PlaceName(Place place) {
  switch (place) {
    case Place::kProgram: return text::kPlaceProgram;
    case Place::kMimePackage: return text::kPlaceMimePackage;
    case Place::kTypeIcon: return text::kPlaceTypeIcon;
    case Place::kAssociationEntry: return text::kPlaceAssociationEntry;
    case Place::kDefaultApplication: return text::kPlaceDefaultApplication;
    case Place::kDatabases: return text::kPlaceDatabases;
    case Place::kProgramIcon: return text::kPlaceProgramIcon;
    case Place::kNautilus: return text::kPlaceNautilus;
    case Place::kThunar: return text::kPlaceThunar;
    case Place::kDolphin5: return text::kPlaceDolphin5;
    case Place::kDolphin6: return text::kPlaceDolphin6;
    case Place::kNemo: return text::kPlaceNemo;
    case Place::kCaja: return text::kPlaceCaja;
    case Place::kFolders: return text::kPlaceFolders;
    case Place::kSettings: return text::kPlaceSettings;
  }
  return {};
}

std::string DescribeStep(const Step& step) {
  std::string text = PlaceName(step.place) + ": " + OutcomeText(step);
  if (!step.path.empty() && step.outcome != Outcome::kFailed) text += ": " + step.path;
  return text;
}

std::string Summary(Action action, const Result& result) {
  std::vector<std::string> problems, notes, menus;
  for (const Step& s : result.steps) {
    switch (s.outcome) {
      case Outcome::kFailed:
      case Outcome::kRefusedForeign:
        AddOnce(problems, Brief(s));
        break;
      case Outcome::kFallback:
      case Outcome::kToolMissing:
      case Outcome::kKeptForeign:
        AddOnce(notes, Brief(s));
        break;
      default:
        break;
    }
  }
  // The file managers that have the items now.
  for (Place p : {Place::kNautilus, Place::kThunar, Place::kDolphin6, Place::kNemo, Place::kCaja}) {
    bool done = false, bad = false;
    for (const Step& s : result.steps) {
      const bool same = s.place == p || (p == Place::kDolphin6 && s.place == Place::kDolphin5);
      if (!same) continue;
      done |= s.outcome == Outcome::kWritten || s.outcome == Outcome::kUnchanged || s.outcome == Outcome::kFallback;
      bad |= s.outcome == Outcome::kFailed || s.outcome == Outcome::kRefusedForeign;
    }
    if (done && !bad) menus.push_back(p == Place::kDolphin6 ? text::kPlaceDolphin : PlaceName(p));
  }
  const std::string problem_list = Joined(problems, text::kProblemSeparator);
  const std::string menu_list = Joined(menus, text::kMenuSeparator);
  std::string summary;
  switch (action) {
    case Action::kAssociate:
      summary = problems.empty() ? text::kAssociated : text::AssociationFailed(problem_list);
      break;
    case Action::kContextMenu:
      if (problems.empty()) {
        summary = text::ContextMenuAdded(menu_list);
      } else if (menus.empty()) {
        summary = text::ContextMenuFailed(problem_list);
      } else {
        summary = text::ContextMenuPartial(menu_list, problem_list);
      }
      break;
    case Action::kUnregister:
      summary = problems.empty() ? text::kUnregistered : text::UnregisterFailed(problem_list);
      break;
  }
  if (!notes.empty()) summary += text::Notes(Joined(notes, text::kProblemSeparator));
  return summary;
}

}  // namespace vesk::shell
