#include "compress/compress_file.h"

#include "compress/compressor.h"
#include "compress/deflate_source.h"
#include "compress/run_failure.h"
#include "compress/texts.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/staged_file.h"

namespace vesk::compress {

int ZlibLevelFor(int level) {
  switch (level) {
    case 1: return ZlibLevelOf(TCompressionLevel::clFastest);
    case 3: return ZlibLevelOf(TCompressionLevel::clMax);
    default: return ZlibLevelOf(TCompressionLevel::clDefault);
  }
}

RunResult CompressFile(const CompressJob& job, RunContext& context) {
  Progress& bar = context.progress;
  const std::string stage = text::kCompressing;
  bar.ShowStatus(stage);
  const std::string folder = FolderOf(job.target);
  std::string staging;
  std::string failure;
  bool began = false;
  bool complete = false;
  if (!FileExists(job.source)) {
    failure = text::CannotReadFile(job.source);
  } else {
    try {
      staging = CreateUniqueFile(folder, ".vesk-", ".part");
    } catch (const IoError&) {
      failure = FolderFailure(folder);
    }
  }
  if (failure.empty()) {
    try {
      InputFile source(job.source);
      source.SetReadHook(job.faults.before_read);
      // The staging file is made again by this process alone, private
      // until it is put in place with the target's bits.
      DeleteFile(staging);
      OutputFile dest;
      dest.CreateNew(staging, 0600);
      dest.SetWriteHook(job.faults.before_write);
      DeflateSteps steps;
      steps.begin = [&](int64_t total) {
        began = true;
        bar.SetProgressTotal(total);
        bar.SetBarRange(Progress::BarMaxFor(total));
      };
      steps.step = [&](int64_t done) { bar.SetBarPosition(bar.BarPositionFor(done)); };
      steps.stopped = [&] { return context.stop.StopRequested(); };
      DeflateSource(source, dest, ZlibLevelFor(job.level), steps);
      dest.Close();
      complete = !context.stop.StopRequested();
    } catch (...) {
      failure = RunFailure(job.source, staging, false, began);
    }
  }
  if (complete) {
    try {
      CommitStagedFile(staging, job.target, job.mode, job.replace);
    } catch (const TargetExistsError&) {
      failure = text::TargetAppeared(job.target);
      complete = false;
    } catch (const std::exception&) {
      failure = FolderFailure(folder);
      complete = false;
    }
  }
  if (!complete && !staging.empty() && PathExists(staging)) DeleteFile(staging);
  if (!failure.empty()) {
    const std::string message = text::CompressStopped(stage, failure);
    context.prompter.ReportMessage(message);
    return RunResult::Ended(Outcome::kFailed, Reason::kIo, message);
  }
  if (!complete) return RunResult::Ended(Outcome::kCancelled, Reason::kCancelled, stage);
  bar.ShowStatus(text::StageDone(stage));
  return RunResult::Done({job.target});
}

}  // namespace vesk::compress
