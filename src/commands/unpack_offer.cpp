#include "commands/unpack_offer.h"

#include "archive/folder_engine.h"
#include "archive/texts.h"
#include "platform/file_io.h"
#include "platform/paths.h"

namespace vesk::commands {

RunResult UnpackDecryptedTar(const RunResult& decrypted, const UnpackQuestion& ask, RunContext& context) {
  return UnpackDecryptedTar(decrypted, UnpackOffer{ask, {}, {}}, context);
}

RunResult UnpackDecryptedTar(const RunResult& decrypted, const UnpackOffer& offer, RunContext& context) {
  if (!decrypted.Completed() || decrypted.written.empty()) return decrypted;
  const std::string tar = decrypted.written.front();
  if (ExtractFileExt(tar) != ".tar" || !FileExists(tar)) return decrypted;
  std::string folder = ChangeFileExt(tar, "");
  const std::string question = offer.question ? offer.question(tar, folder) : archive::text::kUnpackQuestion;
  if (!offer.ask(question, archive::text::kUnpackCaption) || context.stop.StopRequested()) return decrypted;
  while (PathExists(folder)) {
    const auto other = offer.other_folder ? offer.other_folder(folder) : std::nullopt;
    if (!other) {
      const std::string why = archive::text::FolderExists(folder) + archive::text::TarKept(tar);
      context.prompter.ReportMessage(why);
      return RunResult::Ended(Outcome::kRefused, Reason::kTargetKept, why);
    }
    folder = *other;
  }
  context.progress.ShowHint(Hint::Output, archive::text::UnpackedFolderHint(folder));
  context.progress.ShowHint(Hint::Source, archive::text::UnpackedSourceHint(tar));
  archive::UnpackJob job;
  job.source_path = tar;
  job.target_folder = folder;
  job.remove_source_after = true;
  RunResult unpacked = archive::UnpackFolder(job, context);
  if (unpacked.outcome == Outcome::kDone && decrypted.outcome == Outcome::kDoneAfterDamage) {
    unpacked.outcome = Outcome::kDoneAfterDamage;
  }
  if (!unpacked.Completed() && FileExists(tar)) {
    // The decrypted plaintext stays where it was written: the user is told.
    const std::string kept = archive::text::TarKept(tar);
    context.prompter.ReportMessage(kept);
    unpacked.reason += kept;
  }
  return unpacked;
}

}  // namespace vesk::commands
