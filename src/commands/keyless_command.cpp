#include "commands/keyless_command.h"


#include <climits>
#include <cstdlib>

#include "archive/folder_engine.h"
#include "archive/texts.h"
#include "crypto/keyless/engine.h"
#include "crypto/keyless/texts.h"
#include "platform/file_io.h"
#include "platform/gbk.h"
#include "platform/paths.h"

namespace vesk::commands {
namespace {

namespace text = keyless::text;

std::optional<keyless::Version> VersionOf(Cipher cipher) {
  switch (cipher) {
    case Cipher::kOld: return keyless::Version::kOld;
    case Cipher::kOlder: return keyless::Version::kOlder;
    case Cipher::kCurrent: break;
  }
  return keyless::Version::kCurrent;
}

// Every source with its target (`proposed` beside it, put where the output
// rule says and given its final form by `final_name`), then the targets
// decided against the disk and each other; a kept target's refusal carries
// the status that says the run was called off.
Plan PlanTargets(const FileRequest& request, Prompter& ask, const std::function<std::string(const std::string&)>& proposed,
                 const std::function<std::string(const std::string&)>& final_name, const char* kept) {
  Plan plan;
  for (const std::string& source : request.sources) {
    PlannedItem item;
    item.source = source;
    item.target = final_name(TargetFor(request.output, proposed(source)));
    plan.items.push_back(std::move(item));
  }
  OverwriteChoices choices(request.overwrite);
  DecideTargets(
      plan, choices,
      [&](const PlannedItem& item) { return ask.AskReplace(text::ReplaceQuestion(item.target), text::kReplaceCaption); },
      [](const std::string& path) { return PathExists(path); });
  for (PlannedItem& item : plan.items) {
    if (item.refusal && item.refusal->code == Reason::kTargetKept) item.refusal->detail = kept;
  }
  return plan;
}

// The key as the container takes it: GBK bytes, CR LF between lines; empty
// (and so refused) when GBK cannot hold it.
std::string KeyBytes(const FileRequest& request) { return Utf8ToGbkStrict(request.keys.key.view()).value_or(""); }

}  // namespace

std::string KeylessEncryptedName(const std::string& source) {
  return DirectoryExists(source) ? FolderStem(source) + ".tar.jmz" : source + ".jmz";
}

std::string KeylessDecryptedName(const std::string& source) { return ChangeFileExt(source, ""); }

Plan KeylessEncryptCommand::MakePlan(const FileRequest& request) {
  // Whatever name is given, the container's extension is ".jmz".
  return PlanTargets(
      request, ask_, KeylessEncryptedName, [](const std::string& path) { return ChangeFileExt(path, ".jmz"); },
      text::kEncryptKept);
}

RunResult KeylessEncryptCommand::Run(const FileRequest& request, const PlannedItem& item, RunContext& context) {
  const std::optional<keyless::Version> version = offer_older_ ? std::nullopt : VersionOf(request.cipher);
  const uint8_t clicks = offer_older_ ? 8 : 0;
  context.progress.ShowStatus(text::kEncrypting);
  context.progress.ShowHint(Hint::Output, text::EncryptOutputHint(item.target));
  context.progress.ShowHint(Hint::Source, text::EncryptSourceHint(item.source));
  if (DirectoryExists(item.source)) {
    archive::PackJob job;
    job.folder = item.source;
    job.target_path = item.target;
    job.road = archive::Road::kKeyless;
    job.key = KeyBytes(request);
    job.info_click_count = clicks;
    job.keyless_version = version;
    job.replace_target = item.replaces;
    return archive::PackFolder(job, context, nullptr, &random_);
  }
  keyless::KeylessJob job;
  job.key = KeyBytes(request);
  job.source_path = item.source;
  job.target_path = item.target;
  job.info_click_count = clicks;
  job.version = version;
  job.replace_target = item.replaces;
  return keyless::EncryptKeyless(job, context, random_);
}

Plan KeylessDecryptCommand::MakePlan(const FileRequest& request) {
  return PlanTargets(
      request, ask_, KeylessDecryptedName, [](const std::string& path) { return path; }, text::kDecryptKept);
}

RunResult KeylessDecryptCommand::Run(const FileRequest& request, const PlannedItem& item, RunContext& context) {
  context.progress.ShowStatus(text::kDecrypting);
  context.progress.ShowHint(Hint::Output, text::DecryptOutputHint(item.target));
  context.progress.ShowHint(Hint::Source, text::DecryptSourceHint(item.source));
  keyless::KeylessJob job;
  job.key = KeyBytes(request);
  job.source_path = item.source;
  job.target_path = item.target;
  job.replace_target = item.replaces;
  RunResult decrypted = keyless::DecryptKeyless(job, context);

  // A tar file: its folder is offered, and the folder, once complete, is
  // what the run wrote (the tar file goes).
  UnpackOffer offer = unpacking_;
  if (!offer.ask) {
    const bool unpack = request.unpack;
    offer.ask = [unpack](const std::string&, const std::string&) { return unpack; };
  }
  return UnpackDecryptedTar(decrypted, offer, context);
}

}  // namespace vesk::commands
