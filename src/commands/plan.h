// A command's plan: for each source, the file it writes, with which
// permission bits and whether it replaces something; or a typed refusal
// before anything is written. The whole batch is planned before the first
// run, so that two sources never end up with one output name.
#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "commands/overwrite.h"
#include "commands/request.h"
#include "core/run_result.h"
#include "platform/paths.h"  // FolderStem: the stem of a folder's proposed names

namespace vesk::commands {

struct Refusal {
  Reason code = Reason::kUnspecified;
  std::string detail;  // the text shown
};

struct PlannedItem {
  std::string source;
  std::string target;
  mode_t mode = 0600;    // the output's permission bits
  bool replaces = false;  // something is at the target and is replaced
  std::optional<Refusal> refusal;  // set: this source is not run

  bool Runs() const { return !refusal.has_value(); }
};

struct Plan {
  std::vector<PlannedItem> items;
};

// The target of `source` under `rule`, given the name the command proposes
// beside the source (`proposed`, a path). An exact rule names the file; a
// folder rule keeps the proposed name's last component.
std::string TargetFor(const OutputRule& rule, const std::string& proposed);

// `path` or, when it is taken (by a file, or by an earlier item of the same
// batch in `taken`), the first free "stem (N).ext" for N = 2, 3, ...
std::string FreeName(const std::string& path, const std::function<bool(const std::string&)>& taken);

// Decides each planned target against what is on disk and against the
// targets before it in the same batch: a target that an earlier item writes
// gets a free name; an existing one is replaced or kept as `choices` decide
// (asking through `ask`); a kept one becomes a refusal (Reason::kTargetKept).
void DecideTargets(Plan& plan, OverwriteChoices& choices,
                   const std::function<ReplaceAnswer(const PlannedItem&)>& ask,
                   const std::function<bool(const std::string&)>& exists);

}  // namespace vesk::commands
