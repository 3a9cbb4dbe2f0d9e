#include "cli/streams.h"

#include <unistd.h>

#include <algorithm>
#include <iostream>

#include "cli/exit_status.h"
#include "cli/key_text.h"
#include "cli/texts.h"
#include "platform/file_io.h"
#include "platform/stream_target.h"

namespace vesk::cli {
namespace {

bool ReadsStandardInput(const Options& o) {
  return std::any_of(o.sources.begin(), o.sources.end(), [](const std::string& s) { return IsStandardStream(s); });
}

}  // namespace

bool UsesStreams(const Options& o) { return ReadsStandardInput(o) || (o.target && IsStreamTarget(*o.target)); }

std::optional<int> PrepareStreams(Options& o, const StreamRules& rules) {
  const bool from_stdin = ReadsStandardInput(o);
  if (from_stdin && o.sources.size() > 1) {
    std::cerr << text::kStandardInputAlone << '\n';
    return kExitUsage;
  }
  if (o.target && IsStandardStream(*o.target) && o.sources.size() > 1) {
    std::cerr << text::kStandardOutputOneSource << '\n';
    return kExitUsage;
  }
  if (!UsesStreams(o)) return std::nullopt;
  const bool folder = std::any_of(o.sources.begin(), o.sources.end(), [](const std::string& s) { return DirectoryExists(s); });
  if (!rules.can_stream || folder) {
    std::cerr << text::kCannotStream << '\n';
    return kExitFailed;
  }
  if (from_stdin) {
    SetStandardInputIsData();
    if (!o.target) {
      // As a filter: to standard output, unless binary would land on a
      // terminal without being asked for with -o.
      if (rules.binary_output && ::isatty(STDOUT_FILENO) != 0) {
        std::cerr << text::kBinaryToTerminal << '\n';
        return kExitFailed;
      }
      o.target = "-";
    }
  }
  return std::nullopt;
}

bool PrintsPath(const std::string& target) { return !IsStreamTarget(target); }

}  // namespace vesk::cli
