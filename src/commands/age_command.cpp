#include "commands/age_command.h"

#include <memory>
#include <utility>

#include "archive/folder_engine.h"
#include "compress/parallel_deflate.h"
#include "crypto/age_files/engine.h"
#include "crypto/age_files/key_files.h"
#include "crypto/age_files/texts.h"
#include "platform/file_io.h"
#include "platform/staged_file.h"
#include "platform/stream_target.h"

namespace vesk::commands {
namespace {

namespace text = age_files::text;

// Plans each source: the target from the rule and the proposal, an output
// that is the source itself refused with `cancelled`.
Plan PlanTargets(const FileRequest& request, std::string (*proposal)(const std::string&), const char* cancelled) {
  Plan plan;
  for (const std::string& source : request.sources) {
    PlannedItem item;
    item.source = source;
    item.target = TargetFor(request.output, proposal(source));
    // Nothing is asked or deleted for an output that is the source itself.
    if (SameFile(source, item.target)) item.refusal = Refusal{Reason::kSameFile, text::ReplaceFailed(item.target, cancelled)};
    plan.items.push_back(std::move(item));
  }
  return plan;
}

// A folder becomes "DIR.tar.age"; a file keeps its whole name.
std::string EncryptedName(const std::string& source) {
  return DirectoryExists(source) ? FolderStem(source) + ".tar.age" : source + ".age";
}

age::SecretBytes Secret(const SecretText& text) { return age::SecretBytes::FromString(text.view()); }

}  // namespace

std::string AgePlainName(const std::string& age_path) {
  constexpr std::string_view kExt = ".age";
  if (age_path.size() > kExt.size() && age_path.compare(age_path.size() - kExt.size(), kExt.size(), kExt) == 0) {
    std::string stem = age_path.substr(0, age_path.size() - kExt.size());
    if (stem.back() != '/') return stem;  // "dir/.age" names no plain file
  }
  return age_path + ".out";
}

void DecideAgeTargets(Plan& plan, const FileRequest& request, bool encrypting, Prompter& prompter) {
  OverwriteChoices choices(request.overwrite);
  DecideTargets(
      plan, choices,
      [&prompter](const PlannedItem& item) {
        return prompter.AskReplace(text::ReplaceQuestion(item.target), text::kReplaceCaption);
      },
      // A stream (a FIFO, a device) is written into, never replaced: nothing to ask.
      [](const std::string& path) { return PathExists(path) && !IsStreamTarget(path); });
  for (PlannedItem& item : plan.items) {
    if (item.refusal && item.refusal->code == Reason::kTargetKept && item.refusal->detail.empty()) {
      item.refusal->detail = (encrypting ? text::kEncryptCancelled : text::kDecryptCancelled).str();
    }
  }
}

Plan AgeEncryptCommand::MakePlan(const FileRequest& request) {
  return PlanTargets(request, EncryptedName, text::kEncryptCancelled);
}

RunResult AgeEncryptCommand::Run(const FileRequest& request, const PlannedItem& item, RunContext& context) {
  age_files::EncryptJob job;
  job.source_path = item.source;
  job.target_path = item.target;
  job.recipients = request.keys.recipients;
  if (job.recipients.empty()) job.passphrase = Secret(request.keys.passphrase);
  job.armor = request.armor;
  job.work_factor = request.work_factor;
  job.threads = static_cast<unsigned>(compress::CompressionThreads());
  job.replace_target = item.replaces;
  context.progress.ShowStatus(text::kEncryptStarting);
  context.progress.SetBarPosition(0);
  context.progress.ShowHint(Hint::Output, text::EncryptOutputHint(item.target));
  context.progress.ShowHint(Hint::Source, text::EncryptSourceHint(item.source));
  if (!DirectoryExists(item.source)) return age_files::EncryptFile(job, context);
  // A folder is packed on the fly into a tar stream that the encryption
  // pulls; the folder engine shows its own ending.
  archive::PackJob pack;
  pack.folder = item.source;
  pack.target_path = item.target;
  pack.road = archive::Road::kAge;
  pack.replace_target = item.replaces;
  pack.age = std::make_shared<const age_files::EncryptJob>(std::move(job));
  RunResult result = archive::PackFolder(pack, context);
  if (result.outcome == Outcome::kCancelled) {
    result.reason = text::kEncryptCancelled.str();
  } else {
    result.reason.clear();
  }
  return result;
}

std::optional<Refusal> AgeDecryptCommand::CheckKeys(const FileRequest& request, const std::string& source) {
  // What the header asks for: a passphrase, or identity files. A header no
  // key can open is refused now.
  const age_files::HeaderSummary header = age_files::SummarizeHeader(source);
  if (auto why = age_files::HeaderRefusal(header, source)) return Refusal{Reason::kDamaged, *why};
  if (header.passphrase) {
    if (request.keys.passphrase.empty()) return Refusal{Reason::kNoKey, text::kPassphraseRequired};
    if (header.work_factor > request.max_work_factor) {
      return Refusal{Reason::kUnsupported, text::WorkFactorTooHigh(header.work_factor, request.max_work_factor)};
    }
  } else if (request.keys.identity_files.empty() && request.keys.plugins.empty()) {
    return Refusal{Reason::kNoKey, text::kIdentitiesRequired};
  }
  return std::nullopt;
}

Plan AgeDecryptCommand::MakePlan(const FileRequest& request) {
  Plan plan = PlanTargets(request, AgePlainName, text::kDecryptCancelled);
  for (PlannedItem& item : plan.items) {
    if (auto refusal = CheckKeys(request, item.source)) item.refusal = std::move(refusal);
  }
  return plan;
}

RunResult AgeDecryptCommand::Run(const FileRequest& request, const PlannedItem& item, RunContext& context) {
  age_files::DecryptJob job;
  job.source_path = item.source;
  job.target_path = item.target;
  if (age_files::SummarizeHeader(item.source).passphrase) {
    job.passphrase = Secret(request.keys.passphrase);
  } else {
    job.identity_files = request.keys.identity_files;
    job.plugins = request.keys.plugins;
    job.identities = request.keys.identities;
  }
  job.max_work_factor = request.max_work_factor;
  job.threads = static_cast<unsigned>(compress::CompressionThreads());
  job.replace_target = item.replaces;
  context.progress.ShowStatus(text::kDecryptStarting);
  context.progress.SetBarPosition(0);
  context.progress.ShowHint(Hint::Output, text::DecryptOutputHint(item.target));
  context.progress.ShowHint(Hint::Source, text::DecryptSourceHint(item.source));
  return age_files::DecryptFile(job, context);
}

}  // namespace vesk::commands
