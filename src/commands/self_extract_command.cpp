#include "commands/self_extract_command.h"

#include "commands/decompressing_host.h"

#include "compress/decompress_file.h"
#include "crypto/keyed/decrypt_engine.h"
#include "crypto/keyed/texts.h"
#include "platform/file_io.h"
#include "platform/gbk.h"
#include "platform/paths.h"
#include "platform/staged_file.h"
#include "selfextract/elf_image.h"
#include "selfextract/sfx_engine.h"
#include "selfextract/texts.h"

namespace vesk::commands {
namespace {

namespace text = selfextract::text;

constexpr int64_t kFourGiB = int64_t{1} << 32;

// Whether an existing `path` may be replaced under `policy`, asking when it
// says so.
bool MayReplace(OverwritePolicy policy, Prompter& prompter, const std::string& path) {
  OverwriteChoices choices(policy);
  return choices.Decide(true, [&] {
           return prompter.AskYesNo(text::ReplaceQuestion(path), text::kReplaceCaption) ? ReplaceAnswer::kYes
                                                                                         : ReplaceAnswer::kNo;
         }) == OverwriteDecision::kReplace;
}

RunResult Refused(const Refusal& refusal, Prompter& prompter) {
  prompter.ReportMessage(refusal.detail);
  return RunResult::Ended(Outcome::kRefused, refusal.code, refusal.detail);
}

// The run's prompter, with the decryption's replace question answered by
// the request's policy unless that says to ask.
class PolicyPrompter final : public Prompter {
 public:
  PolicyPrompter(Prompter& inner, OverwritePolicy policy) : inner_(inner), policy_(policy) {}
  void ReportMessage(const std::string& text) override { inner_.ReportMessage(text); }
  bool AskYesNo(const std::string& text, const std::string& caption) override { return inner_.AskYesNo(text, caption); }
  ReplaceAnswer AskReplace(const std::string& text, const std::string& caption) override {
    if (policy_ == OverwritePolicy::kAsk) return inner_.AskReplace(text, caption);
    const bool replace = policy_ == OverwritePolicy::kReplace || policy_ == OverwritePolicy::kYesToAll;
    return replace ? ReplaceAnswer::kYes : ReplaceAnswer::kNo;
  }

 private:
  Prompter& inner_;
  OverwritePolicy policy_;
};

RunResult WithDamage(RunResult result, bool damaged) {
  if (damaged && result.outcome == Outcome::kDone) result.outcome = Outcome::kDoneAfterDamage;
  return result;
}

}  // namespace

// ---- Create ------------------------------------------------------------------

std::optional<Refusal> CreateSfxCommand::CheckProgram(const CreateSfxRequest& request, std::string& program,
                                                      int64_t& image_size) {
  program = request.program.empty() ? selfextract::SfxProgramBesideRunningProgram() : request.program;
  if (!FileExists(program)) return Refusal{Reason::kNoSource, text::SfxProgramMissing(program)};
  image_size = request.image_size;
  if (image_size <= 0) {
    try {
      image_size = selfextract::ImageSizeOf(program);
    } catch (const IoError&) {
      return Refusal{Reason::kNoSource, text::SfxProgramUnreadable(program)};
    }
  }
  return std::nullopt;
}

std::optional<Refusal> CreateSfxCommand::CheckContainer(const std::string& container) {
  if (!FileExists(container)) return Refusal{Reason::kNoSource, text::ContainerMissing(container)};
  try {
    InputFile in(container);
    const int64_t length = in.Size();
    if (length < 1) return Refusal{Reason::kNoSource, text::kContainerEmpty};
    if (length > kFourGiB) return Refusal{Reason::kUnsupported, text::kContainerTooLarge};
    if (!selfextract::CarriesKeyedMarker(in, 0, length)) return Refusal{Reason::kNotAContainer, text::kContainerNotKeyed};
  } catch (...) {
    return Refusal{Reason::kIo, text::CreateFailed(container)};
  }
  return std::nullopt;
}

Plan CreateSfxCommand::MakePlan(const CreateSfxRequest& request) {
  PlannedItem item;
  item.source = request.container;
  std::string program;
  int64_t image_size = 0;
  item.refusal = CheckProgram(request, program, image_size);
  if (!item.refusal) item.refusal = CheckContainer(request.container);
  item.target = ChangeFileExt(TargetFor(request.output, ChangeFileExt(request.container, text::kSelfDecryptingExt)),
                              text::kSelfDecryptingExt);
  item.replaces = PathExists(item.target);
  return {{std::move(item)}};
}

std::optional<RunResult> CreateSfxCommand::Confirm(const CreateSfxRequest& request, const PlannedItem& item,
                                                   RunContext& context) {
  if (!PathExists(item.target)) return std::nullopt;
  if (!MayReplace(request.overwrite, context.prompter, item.target)) {
    context.progress.ShowStatus(text::kCreateCancelled);
    return RunResult::Ended(Outcome::kRefused, Reason::kTargetKept, text::kCreateCancelled);
  }
  // A completed file cannot be renamed over a folder, nor may it replace a
  // file the command reads, or the running program's own file.
  std::string program = request.program.empty() ? selfextract::SfxProgramBesideRunningProgram() : request.program;
  const std::string own = request.own_file.empty() ? std::string(selfextract::kRunningProgramFile) : request.own_file;
  if (DirectoryExists(item.target) || SameFile(item.target, item.source) || SameFile(item.target, program) ||
      SameFile(item.target, own)) {
    return Refused({Reason::kSameFile, text::ReplaceFailed(item.target, text::kCreateCancelled)}, context.prompter);
  }
  return std::nullopt;
}

RunResult CreateSfxCommand::Run(const CreateSfxRequest& request, const PlannedItem& item, RunContext& context) {
  if (item.refusal) return Refused(*item.refusal, context.prompter);
  // A file that appears at the target after this is not replaced: the
  // commit then fails.
  const bool exists = PathExists(item.target);
  if (auto ended = Confirm(request, item, context)) return *ended;
  std::string program;
  int64_t image_size = 0;
  if (auto refusal = CheckProgram(request, program, image_size)) return Refused(*refusal, context.prompter);
  selfextract::CreateJob job;
  InputFile container;
  try {
    container.Open(item.source);
    job = {program, image_size, item.target, exists, ExtractFileName(item.source), container.Size()};
  } catch (...) {
    return Refused({Reason::kIo, text::CreateFailed(item.target)}, context.prompter);
  }
  context.progress.ShowStatus(text::kCreateRunning);
  context.progress.ShowHint(Hint::Output, text::CreateOutputHint(item.target));
  context.progress.SetBarPosition(0);
  context.progress.ShowHint(Hint::Source, text::CreateSourceHint(item.source));
  return selfextract::CreateSelfDecrypting(job, container, context);
}

// ---- Reading a self-decrypting file -------------------------------------------

std::optional<OwnFile> ReadOwnFile(const PayloadRequest& request, RunContext& context, Refusal& why) {
  const std::string& file = request.file;
  if (!file.empty() && !FileExists(file)) {
    why = {Reason::kNoSource, text::FileMissing(file)};
    return std::nullopt;
  }
  OwnFile own;
  if (file.empty()) {
    // The running program is read through its process entry, which stays the
    // file that was started even when an update has replaced it on the disk.
    own.path = selfextract::kRunningProgramFile;
    try {
      own.folder = ExtractFilePath(selfextract::RunningProgramPath());
    } catch (...) {
      own.folder.clear();
    }
  } else {
    own.path = file;
    own.folder = ExtractFilePath(file);
  }
  if (request.info) {
    own.info = *request.info;
  } else if (file.empty()) {
    own.info = selfextract::ReadRunningSelfDecryptInfo(context.progress, context.prompter);
  } else {
    int64_t image_size = 0;
    try {
      image_size = selfextract::ImageSizeOf(file);
    } catch (...) {
      image_size = 0;  // the reading then fails
    }
    own.info = selfextract::ReadSelfDecryptInfo(context.progress, context.prompter, file, image_size);
  }
  if (!own.info.CommandsEnabled) {
    why = {Reason::kNotAContainer, text::NotSelfDecrypting(file.empty() ? own.path : file)};
    return std::nullopt;
  }
  if (own.info.PayloadName.empty()) own.info.PayloadName = selfextract::kUnnamedPayload;
  return own;
}

namespace {

Plan PlanOf(const PayloadRequest& request) {
  PlannedItem item;
  item.source = request.file;
  return {{std::move(item)}};
}

}  // namespace

// ---- Self-decrypt ----------------------------------------------------------------

Plan SelfDecryptCommand::MakePlan(const PayloadRequest& request) { return PlanOf(request); }

RunResult SelfDecryptCommand::Run(const PayloadRequest& request, const PlannedItem&, RunContext& context) {
  Refusal why;
  const std::optional<OwnFile> own = ReadOwnFile(request, context, why);
  if (!own) return Refused(why, context.prompter);
  const std::string& name = own->info.PayloadName;
  context.progress.ShowStatus(selfextract::PayloadStatusText(name, own->info.PayloadSize));
  keyed::DecryptJob job;
  job.command = Operation::SelfDecrypt;
  job.source_path = own->path;
  job.target_path =
      TargetFor(request.output, ChangeFileExt(own->folder + selfextract::SafePayloadName(name), ""));
  job.info_click_count = request.allow_old_ciphers ? 8 : 0;
  job.self_decrypt = true;
  job.container_start = selfextract::PayloadOffset(own->info.ImageSize);
  job.payload_size = own->info.PayloadSize;
  job.payload_name = selfextract::ShownPayloadName(name);
  context.progress.SetBarPosition(0);
  PolicyPrompter prompter(context.prompter, request.overwrite);
  RunContext run{context.progress, prompter, context.stop};
  // A key GBK cannot hold matches no container: it is tried as empty.
  // The output is as private as the self-decrypting file, whose execute
  // bits are no part of that.
  DecompressingHost host(run, Utf8ToGbkStrict(request.key.str()).value_or(""), own->path, 0666);
  return WithDamage(keyed::DecryptEmbedded(job, run, host), own->info.Damaged);
}

// ---- Separate --------------------------------------------------------------------

Plan SeparateCommand::MakePlan(const PayloadRequest& request) { return PlanOf(request); }

RunResult SeparateCommand::Run(const PayloadRequest& request, const PlannedItem&, RunContext& context) {
  Refusal why;
  const std::optional<OwnFile> own = ReadOwnFile(request, context, why);
  if (!own) return Refused(why, context.prompter);
  const std::string& name = own->info.PayloadName;
  context.progress.ShowStatus(selfextract::PayloadStatusText(name, own->info.PayloadSize));
  const std::string chosen = TargetFor(request.output, own->folder + selfextract::SafePayloadName(name));
  const int64_t image_size = own->info.ImageSize;
  selfextract::SeparatePlan plan =
      selfextract::PlanSeparate(own->path, image_size, own->info.PayloadSize, chosen, context,
                                [&](const std::string& path) { return MayReplace(request.overwrite, context.prompter, path); });
  if (!plan.go) return plan.ended;
  const std::string shown = selfextract::ShownPayloadName(name);
  context.progress.ShowStatus(text::SeparateRunning(shown));
  context.progress.ShowHint(Hint::Output, text::SeparateOutputHint(plan.job.target_path));
  context.progress.SetBarPosition(0);
  context.progress.ShowHint(Hint::Source, text::SeparateSourceHint(shown));
  InputFile program;
  try {
    selfextract::BeginSeparate(plan.job, own->path, image_size, program);
  } catch (...) {
    context.prompter.ReportMessage(text::kSeparateFailed);
    return RunResult::Ended(Outcome::kFailed, Reason::kIo, text::kSeparateFailed);
  }
  return WithDamage(selfextract::SeparatePayload(plan.job, program, context), own->info.Damaged);
}

}  // namespace vesk::commands
