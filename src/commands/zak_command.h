// The ".zak" commands: files (and folders, as tar files) compressed into one
// zlib stream, such a stream decompressed back, and a tar file unpacked into
// the folder beside it. A front end builds a FileRequest with
// Format::kCompressed (sources, output rule, level, overwrite policy), plans
// it whole and runs each planned item with its context.
#pragma once

#include <optional>
#include <set>
#include <string>

#include "commands/command.h"
#include "commands/request.h"
#include "core/progress.h"
#include "core/prompter.h"

namespace vesk::commands {

// The target of compressing `source` under `rule`: "a.txt" -> "a.txt.zak",
// the folder "x/" -> "x.tar.zak". A name given for a file keeps its stem and
// gets the source's extension and ".zak" unless it ends in ".zak" or goes
// into a folder; a name given for a folder gets ".zak" unless it has it.
std::string CompressedTarget(const OutputRule& rule, const std::string& source);
// The decompressed file: the source without its extension, or with ".out"
// when it has none.
std::string DecompressedName(const std::string& source);
// The folder a tar file is unpacked into: its name without the extension,
// or with ".d" when it has none.
std::string UnpackedName(const std::string& source);

class CompressCommand : public Command<FileRequest> {
 public:
  // `ask` answers the replace questions of the plan (OverwritePolicy::kAsk);
  // `status`, when given, shows a file's run beginning before its question.
  explicit CompressCommand(Prompter& ask, Progress* status = nullptr) : ask_(ask), status_(status) {}
  Plan MakePlan(const FileRequest& request) override;
  RunResult Run(const FileRequest& request, const PlannedItem& item, RunContext& context) override;

 private:
  // A keyed container is checked with the request's decryption key (which
  // must open it) before it is compressed; a refusal says why not.
  std::optional<Refusal> CheckContainer(const FileRequest& request, const std::string& source);

  Prompter& ask_;
  Progress* status_;
  std::set<std::string> announced_;  // targets whose run was shown before their question
  std::set<std::string> damaged_;    // sources whose check warned of damage
};

class DecompressCommand : public Command<FileRequest> {
 public:
  explicit DecompressCommand(Prompter& ask) : ask_(ask) {}
  Plan MakePlan(const FileRequest& request) override;
  RunResult Run(const FileRequest& request, const PlannedItem& item, RunContext& context) override;

 private:
  Prompter& ask_;
};

// An existing folder is never merged into: the run refuses it.
class UnpackCommand : public Command<FileRequest> {
 public:
  Plan MakePlan(const FileRequest& request) override;
  RunResult Run(const FileRequest& request, const PlannedItem& item, RunContext& context) override;
};

}  // namespace vesk::commands
