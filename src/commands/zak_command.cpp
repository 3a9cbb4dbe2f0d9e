#include "commands/zak_command.h"

#include <climits>
#include <cstdlib>

#include "archive/folder_engine.h"
#include "archive/texts.h"
#include "commands/texts.h"
#include "compress/compress_file.h"
#include "compress/decompress_file.h"
#include "compress/stream_zak.h"
#include "crypto/keyed/header_reader.h"
#include "crypto/keyed/reencryption_check.h"
#include "crypto/keyed/texts.h"
#include "platform/file_io.h"
#include "platform/gbk.h"
#include "platform/paths.h"
#include "platform/staged_file.h"
#include "platform/stream_target.h"

namespace vesk::commands {
namespace {

namespace text = zak_text;

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}


// Decides the planned targets against the disk (`exists`) and each other,
// asking through `ask`; a kept target's refusal says the run was called off.
void Decide(Plan& plan, const FileRequest& request, Prompter& ask, const std::function<bool(const std::string&)>& exists,
            const char* kept, const std::function<void(const PlannedItem&)>& before_question = {}) {
  OverwriteChoices choices(request.overwrite);
  DecideTargets(
      plan, choices,
      [&](const PlannedItem& item) {
        if (before_question) before_question(item);
        return ask.AskReplace(text::ReplaceQuestion(item.target), text::kReplaceCaption);
      },
      exists);
  for (PlannedItem& item : plan.items) {
    if (item.refusal && item.refusal->code == Reason::kTargetKept && item.refusal->detail.empty()) {
      item.refusal->detail = kept;
    }
  }
}

// Whether a target exists to be asked about: a stream (a FIFO, a device) is
// written into, never replaced.
bool Occupied(const std::string& path) { return PathExists(path) && !IsStreamTarget(path); }

// Whether an item runs as a stream: standard input, or a stream target.
bool Streams(const PlannedItem& item) { return IsStandardStream(item.source) || IsStreamTarget(item.target); }

compress::CompressJob JobOf(const FileRequest& request, const PlannedItem& item) {
  compress::CompressJob job;
  job.source = item.source;
  job.target = item.target;
  job.level = request.level;
  job.mode = item.mode;
  job.faults = request.faults;
  job.replace = item.replaces;
  return job;
}

// A stopped run says that the command was called off, as the stop of any
// run of the command does.
RunResult SayIfStopped(RunResult result, RunContext& context, const char* cancelled) {
  if (result.outcome == Outcome::kCancelled) context.progress.ShowStatus(cancelled);
  return result;
}

}  // namespace

std::string CompressedTarget(const OutputRule& rule, const std::string& source) {
  if (rule.kind == OutputRule::Kind::kExact && IsStreamTarget(rule.path)) return rule.path;
  if (DirectoryExists(source)) {
    const std::string saved = TargetFor(rule, FolderStem(source) + ".tar.zak");
    return EndsWith(saved, ".zak") ? saved : saved + ".zak";
  }
  const std::string saved = TargetFor(rule, source + ".zak");
  // The proposal and a name in a folder are final; a name given is read as
  // a stem, whatever (up to two) extensions it has.
  if (rule.kind != OutputRule::Kind::kExact || EndsWith(saved, ".zak")) return saved;
  return ChangeFileExt(ChangeFileExt(ChangeFileExt(saved, ""), ""), ExtractFileExt(source) + ".zak");
}

std::string DecompressedName(const std::string& source) {
  const std::string stem = ChangeFileExt(source, "");
  return stem == source ? source + ".out" : stem;
}

std::string UnpackedName(const std::string& source) {
  const std::string stem = ChangeFileExt(source, "");
  return stem == source ? source + ".d" : stem;
}

std::optional<Refusal> CompressCommand::CheckContainer(const FileRequest& request, const std::string& source) {
  try {
    InputFile in(source);
    if (!keyed::ReadHeader(in, 0, in.Size()).HasMarker()) return std::nullopt;
  } catch (...) {
    // A file that cannot be read is told by the check below.
  }
  try {
    // A keyed container is compressed only when its key opens it.
    const std::string key = Utf8ToGbkStrict(request.keys.decrypt_key.str()).value_or("");
    const keyed::ReencryptionResult check = keyed::CheckReencryption(source, key, ask_);
    if (check.damage_warned) damaged_.insert(source);
    if (check.Refused()) return Refusal{check.ending.code, check.ending.reason};
  } catch (...) {
    return Refusal{Reason::kIo, keyed::text::kEncryptFailed};
  }
  return std::nullopt;
}

Plan CompressCommand::MakePlan(const FileRequest& request) {
  Plan plan;
  for (const std::string& source : request.sources) {
    PlannedItem item;
    item.source = source;
    if (IsStandardStream(source)) {
      item.target = CompressedTarget(request.output, source);
      item.mode = PermissionsOfOpen(0) & DefaultFileMode();
    } else if (!FileExists(source) && !DirectoryExists(source)) {
      item.refusal = Refusal{Reason::kNoSource, text::CompressSourceMissing(source)};
    } else if (auto refusal = FileExists(source) ? CheckContainer(request, source) : std::nullopt) {
      item.refusal = std::move(refusal);
    } else {
      item.target = CompressedTarget(request.output, source);
      item.mode = DirectoryExists(source) ? DefaultFileMode() : PermissionsOf(source);
      // Nothing is asked or deleted for an output that is the source itself.
      if (SameFile(source, item.target)) {
        item.refusal = Refusal{Reason::kSameFile, text::ReplaceFailed(item.target, text::kEncryptKept)};
      }
    }
    plan.items.push_back(std::move(item));
  }
  Decide(
      plan, request, ask_, Occupied, text::kEncryptKept,
      [this](const PlannedItem& item) {
        // A file's run shows that it began before its question is asked.
        if (status_ != nullptr && !DirectoryExists(item.source)) {
          status_->ShowStatus(text::kEncrypting);
          announced_.insert(item.target);
        }
      });
  return plan;
}

RunResult CompressCommand::Run(const FileRequest& request, const PlannedItem& item, RunContext& context) {
  // A folder's run shows its own status, that of a compression.
  const bool folder = DirectoryExists(item.source);
  if (announced_.erase(item.target) == 0 && !folder) context.progress.ShowStatus(text::kEncrypting);
  context.progress.ShowHint(Hint::Output, text::CompressedHint(item.target));
  if (Streams(item)) {
    return SayIfStopped(compress::CompressStream(JobOf(request, item), context), context, text::kEncryptKept);
  }
  if (folder) {
    context.progress.ShowHint(Hint::Source, text::CompressFolderHint(item.source));
    archive::PackJob job;
    job.folder = item.source;
    job.target_path = item.target;
    job.road = archive::Road::kCompressed;
    job.level = request.level;
    job.replace_target = item.replaces;
    return SayIfStopped(archive::PackFolder(job, context), context, text::kEncryptKept);
  }
  context.progress.ShowHint(Hint::Source, text::CompressSourceHint(item.source));
  RunResult result = SayIfStopped(compress::CompressFile(JobOf(request, item), context), context, text::kEncryptKept);
  // A container warned about as damaged gives a file made after damage.
  if (result.outcome == Outcome::kDone && damaged_.count(item.source) != 0) result.outcome = Outcome::kDoneAfterDamage;
  return result;
}

Plan DecompressCommand::MakePlan(const FileRequest& request) {
  Plan plan;
  for (const std::string& source : request.sources) {
    PlannedItem item;
    item.source = source;
    item.target = TargetFor(request.output, IsStandardStream(source) ? source : DecompressedName(source));
    if (IsStandardStream(source)) {
      item.mode = PermissionsOfOpen(0) & DefaultFileMode();
    } else if (!FileExists(source)) {
      item.refusal = Refusal{Reason::kNoSource, text::DecompressSourceMissing(source)};
    } else {
      // A decompressed file is as private as the file it came from.
      item.mode = PermissionsOf(source);
    }
    plan.items.push_back(std::move(item));
  }
  Decide(plan, request, ask_, Occupied, text::kDecryptKept);
  for (PlannedItem& item : plan.items) {
    if (item.Runs() && SameFile(item.source, item.target)) {
      item.refusal = Refusal{Reason::kSameFile, text::ReplaceFailed(item.target, text::kDecryptKept)};
    }
  }
  return plan;
}

RunResult DecompressCommand::Run(const FileRequest& request, const PlannedItem& item, RunContext& context) {
  context.progress.ShowHint(Hint::Output, text::DecompressedHint(item.target));
  context.progress.ShowHint(Hint::Source, text::DecompressSourceHint(item.source));
  if (Streams(item)) {
    return SayIfStopped(compress::DecompressStream(JobOf(request, item), context), context, text::kDecryptKept);
  }
  compress::DecompressJob job;
  job.source = item.source;
  job.target = item.target;
  job.mode = item.mode;
  job.faults = request.faults;
  job.replace = item.replaces;
  return SayIfStopped(compress::DecompressFile(job, context), context, text::kDecryptKept);
}

Plan UnpackCommand::MakePlan(const FileRequest& request) {
  Plan plan;
  for (const std::string& source : request.sources) {
    PlannedItem item;
    item.source = source;
    item.target = TargetFor(request.output, UnpackedName(source));
    if (!FileExists(source)) {
      item.refusal = Refusal{Reason::kNoSource, archive::text::UnpackSourceMissing(source)};
    }
    plan.items.push_back(std::move(item));
  }
  // Only the batch's own folders are told apart here: a folder already on
  // disk is refused by the run, never replaced.
  OverwriteChoices never_asked(OverwritePolicy::kReplace);
  DecideTargets(plan, never_asked, {}, [](const std::string&) { return false; });
  return plan;
}

RunResult UnpackCommand::Run(const FileRequest&, const PlannedItem& item, RunContext& context) {
  context.progress.ShowHint(Hint::Output, archive::text::UnpackedFolderHint(item.target));
  context.progress.ShowHint(Hint::Source, archive::text::UnpackedSourceHint(item.source));
  archive::UnpackJob job;
  job.source_path = item.source;
  job.target_folder = item.target;
  return SayIfStopped(archive::UnpackFolder(job, context), context, text::kDecryptKept);
}

}  // namespace vesk::commands
