#include "commands/keyed_command.h"

#include "archive/folder_engine.h"
#include "commands/decompressing_host.h"
#include "commands/texts.h"
#include "commands/unpack_offer.h"
#include "compress/compress_file.h"
#include "compress/run_failure.h"
#include "compress/texts.h"
#include "compress/decompress_file.h"
#include "crypto/keyed/decrypt_engine.h"
#include "crypto/keyed/encrypt_engine.h"
#include "crypto/keyed/stored_extension.h"
#include "crypto/keyed/reencryption_check.h"
#include "crypto/keyed/texts.h"
#include "platform/file_io.h"
#include "platform/gbk.h"
#include "platform/paths.h"
#include "platform/staged_file.h"
#include "selfextract/sfx_engine.h"

namespace vesk::commands {
namespace {

namespace text = keyed_text;

// The compression before an encryption is the first stage of the run's
// bar: its moves go to the run's progress, its status only as it begins
// (the encryption that follows says when the run is done).
class CompressionStage : public Progress {
 public:
  explicit CompressionStage(Progress& run) : run_(run) {}
  void ShowStatus(const std::string& status) override {
    if (status != compress::text::StageDone(compress::text::kCompressing)) run_.ShowStatus(status);
  }

 protected:
  void OnBarRange(int64_t max) override { run_.SetBarRange(max); }
  void OnBarPosition(int64_t position) override { run_.SetBarPosition(position); }

 private:
  Progress& run_;
};

RunResult Cancelled(RunContext& context) {
  context.progress.ShowStatus(keyed::text::kEncryptCancelled);
  return RunResult::Ended(Outcome::kCancelled, Reason::kCancelled, keyed::text::kEncryptCancelled);
}

// Compresses `source` into a private temporary copy without a name; its
// path (the encryption frees it), or nothing
// with `ending` set when the stage did not complete (nothing left).
std::optional<std::string> CompressedCopy(const std::string& source, const FileRequest& request, RunContext& context,
                                          RunResult& ending) {
  compress::CompressJob job;
  job.source = source;
  job.level = request.level;
  job.faults = request.faults;
  CompressionStage stage(context.progress);
  RunContext stage_context{stage, context.prompter, context.stop};
  RunResult result = compress::CompressFile(job, stage_context);
  if (result.Completed()) return result.written.front();
  // A failure was reported by the compression.
  ending = result.outcome == Outcome::kCancelled ? Cancelled(context) : std::move(result);
  return std::nullopt;
}

// The refusal of another layer on `source`, or a result of kNone.
RunResult LayerRefusal(const FileRequest& request, const std::string& source, Prompter& prompter) {
  try {
    const std::string key = Utf8ToGbkStrict(request.keys.decrypt_key.str()).value_or("");
    return keyed::CheckReencryption(source, key, prompter).ending;
  } catch (...) {
    return {};
  }
}

// Whether the file carries the marker of a keyed container where its
// header must be; false for a file that cannot be read (the engine reports
// that).
bool IsKeyedContainerFile(const std::string& path) {
  try {
    InputFile in(path);
    return selfextract::CarriesKeyedMarker(in, 0, in.Size());
  } catch (...) {
    return false;
  }
}

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

std::string KeyedPlainTarget(const OutputRule& rule, const std::string& source) {
  const std::string stored = keyed::StoredExtension(source);
  if (rule.kind == OutputRule::Kind::kExact) {
    // "-o out.txt" for a container of a ".txt" names out.txt, not out.txt.txt.
    // ("-o dir/.txt" names a file ".txt".)
    if (stored.empty() || rule.path.size() <= stored.size() || !EndsWith(rule.path, stored)) return rule.path;
    const std::string stem = rule.path.substr(0, rule.path.size() - stored.size());
    return stem.back() == '/' ? rule.path : stem;
  }
  std::string proposal = ChangeFileExt(source, "");
  if (!stored.empty() && proposal.size() > stored.size() && EndsWith(proposal, stored)) {
    proposal.resize(proposal.size() - stored.size());
  }
  return TargetFor(rule, proposal);
}

Plan KeyedDecryptCommand::MakePlan(const FileRequest& request) {
  Plan plan;
  for (const std::string& source : request.sources) {
    PlannedItem item;
    item.source = source;
    item.target = KeyedPlainTarget(request.output, source);
    plan.items.push_back(std::move(item));
  }
  return plan;
}

RunResult KeyedDecryptCommand::Run(const FileRequest& request, const PlannedItem& item, RunContext& context) {
  const RunResult decrypted = Decrypt(request, item, context);
  if (unpack_.ask) return UnpackDecryptedTar(decrypted, unpack_, context);
  const bool unpack = request.unpack;
  return UnpackDecryptedTar(decrypted, UnpackQuestion([unpack](const std::string&, const std::string&) { return unpack; }),
                            context);
}

RunResult KeyedDecryptCommand::Decrypt(const FileRequest& request, const PlannedItem& item, RunContext& context) {
  Prompter& prompter = context.prompter;
  const std::optional<std::string> key = Utf8ToGbkStrict(request.keys.key.str());
  // Only a container needs the key (a compressed file is decompressed
  // without one).
  if (IsKeyedContainerFile(item.source)) {
    std::string refusal;
    if (!key) {
      refusal = std::string(keyed_text::kDecryptionKeyNotGbk) + keyed::text::kDecryptCancelled;
    } else if (key->empty()) {
      refusal = keyed::text::kDecryptEmptyKey.str();
    }
    if (!refusal.empty()) {
      prompter.ReportMessage(refusal);
      return RunResult::Ended(Outcome::kRefused, Reason::kNoKey, refusal);
    }
  }
  context.progress.SetBarPosition(0);
  keyed::DecryptJob job;
  job.command = Operation::Decrypt;
  job.source_path = item.source;
  job.original_ext = ExtractFileExt(item.source);
  job.target_path = item.target;
  job.info_click_count = request.allow_old_ciphers ? 8 : 0;
  DecompressingHost host(context, key.value_or(""), item.source);
  RunResult result = keyed::DecryptFile(job, context, host);
  context.progress.ResetStages();
  const auto cancelled = [&context] {
    context.progress.ShowStatus(keyed::text::kDecryptCancelled);
    return RunResult::Ended(Outcome::kCancelled, Reason::kCancelled, keyed::text::kDecryptCancelled);
  };
  if (keyed::HandedOver(result)) {
    // The decompression has shown its own ending.
    std::optional<RunResult> ended = host.DecompressionResult();
    if (!ended) return context.stop.StopRequested() ? cancelled() : RunResult::Ended(Outcome::kFailed, Reason::kUnspecified);
    if (ended->outcome == Outcome::kCancelled) return cancelled();
    if (ended->outcome == Outcome::kDone && host.Damaged()) {
      ended->outcome = Outcome::kDoneAfterDamage;
    }
    return *ended;
  }
  // A stopped run says only that it was called off.
  if (!result.Completed() && context.stop.StopRequested()) return cancelled();
  ShowEnding(result, context.progress, prompter);
  return result;
}

std::string KeyedTarget(const OutputRule& rule, const std::string& source) {
  if (DirectoryExists(source)) return ChangeFileExt(TargetFor(rule, FolderStem(source) + ".tar.jmz"), ".jmz");
  return ChangeFileExt(TargetFor(rule, ChangeFileExt(source, ".jmz")), ".jmz");
}

Plan KeyedEncryptCommand::MakePlan(const FileRequest& request) {
  Plan plan;
  for (const std::string& source : request.sources) {
    PlannedItem item;
    item.source = source;
    if (DirectoryExists(source)) {
      item.target = KeyedTarget(request.output, source);
    } else if (!FileExists(source)) {
      item.refusal = Refusal{Reason::kNoSource, keyed::text::EncryptSourceMissing(source)};
    } else {
      item.target = KeyedTarget(request.output, source);
      item.mode = PermissionsOf(source);
      // Nothing is asked or deleted for an output that is the source itself;
      // a container that may not get another layer says that first.
      if (SameFile(source, item.target)) {
        item.refusal = Refusal{Reason::kSameFile, keyed::text::EncryptReplaceFailed(item.target)};
        const RunResult check = LayerRefusal(request, source, ask_);
        if (check.outcome != Outcome::kNone) item.refusal = Refusal{check.code, check.reason};
      }
    }
    plan.items.push_back(std::move(item));
  }
  OverwriteChoices choices(request.overwrite);
  DecideTargets(
      plan, choices,
      [this](const PlannedItem& item) {
        return ask_.AskReplace(keyed::text::ReplaceQuestion(item.target), keyed::text::kReplaceCaption);
      },
      [](const std::string& path) { return PathExists(path); });
  for (PlannedItem& item : plan.items) {
    if (item.refusal && item.refusal->code == Reason::kTargetKept && item.refusal->detail.empty()) {
      item.refusal->detail = keyed::text::kEncryptCancelled.str();
    }
  }
  return plan;
}

RunResult KeyedEncryptCommand::Run(const FileRequest& request, const PlannedItem& item, RunContext& context) {
  Prompter& prompter = context.prompter;
  Progress& progress = context.progress;
  // Stored as anything else, such a key would be opened by other keys.
  const std::optional<std::string> key = Utf8ToGbkStrict(request.keys.key.str());
  if (!key) {
    const std::string message = std::string(text::kEncryptionKeyNotGbk) + keyed::text::kEncryptCancelled;
    prompter.ReportMessage(message);
    return RunResult::Ended(Outcome::kRefused, Reason::kNoKey, message);
  }
  if (DirectoryExists(item.source)) {
    // A folder is packed on the fly into a tar stream, compressed first
    // unless the level is 0.
    progress.ShowStatus(text::kEncryptStarting);
    progress.SetBarPosition(0);
    progress.ShowHint(Hint::Output, text::EncryptOutputHint(item.target));
    progress.ShowHint(Hint::Source, text::FolderSourceHint(item.source));
    archive::PackJob job;
    job.folder = item.source;
    job.target_path = item.target;
    job.key = *key;
    job.info_click_count = request.cipher == Cipher::kCurrent ? 0 : 8;
    job.replace_target = item.replaces;
    job.road = archive::Road::kKeyed;
    job.level = request.level;
    RunResult result = archive::PackFolder(job, context, &random_);
    if (result.outcome == Outcome::kCancelled) return Cancelled(context);
    return result;
  }
  keyed::ReencryptionResult check;
  try {
    check = keyed::CheckReencryption(item.source, Utf8ToGbkStrict(request.keys.decrypt_key.str()).value_or(""), prompter);
  } catch (...) {
    prompter.ReportMessage(keyed::text::kEncryptFailed);
    return RunResult::Ended(Outcome::kFailed, Reason::kIo, keyed::text::kEncryptFailed);
  }
  if (check.Refused()) {
    ShowEnding(check.ending, progress, prompter);
    return check.ending;
  }
  const std::string extension = ExtractFileExt(item.source);
  const std::optional<std::string> stored_extension = Utf8ToGbkStrict(extension);
  // An extension GBK cannot hold is stored empty.
  if (!stored_extension) prompter.ReportMessage(text::ExtensionNotGbk(extension));

  progress.ShowStatus(text::kEncryptStarting);
  progress.SetBarPosition(0);
  progress.ShowHint(Hint::Output, text::EncryptOutputHint(item.target));
  progress.ShowHint(Hint::Source, text::EncryptSourceHint(item.source));

  keyed::EncryptJob job;
  job.key = *key;
  job.source_path = item.source;
  job.target_path = item.target;
  job.original_ext = stored_extension.value_or("");
  job.layer_number = check.layer_number;
  job.info_click_count = request.cipher == Cipher::kCurrent ? 0 : 8;
  // A file that appeared at the target since the plan is kept.
  job.replace_target = item.replaces;
  // The container takes the bits of the chosen file, not of its copy.
  job.target_mode = item.mode;
  if (request.level != 0) {
    // One bar over both stages, by the bytes each reads: the compression
    // reads the source, the encryption its compressed copy, which is taken
    // to be as large (it is known only once written).
    const int64_t size = FileSizeOf(item.source);
    progress.PlanStages({size, size});
    RunResult ending;
    const std::optional<std::string> copy = CompressedCopy(item.source, request, context, ending);
    if (!copy) {
      progress.ResetStages();
      return ending;
    }
    progress.BeginStage(1);
    job.source_path = *copy;
    job.pre_zip_level = static_cast<uint8_t>(request.level);
  }
  // The engine deletes the compressed copy whatever its outcome.
  RunResult result = keyed::EncryptEngine(job, context, random_);
  progress.ResetStages();
  // A stopped run says only that it was called off.
  if (!result.Completed() && context.stop.StopRequested()) return Cancelled(context);
  if (result.outcome == Outcome::kDone && check.damage_warned) result.outcome = Outcome::kDoneAfterDamage;
  ShowEnding(result, progress, prompter);
  return result;
}

}  // namespace vesk::commands
