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
  const bool temporary = job.target.empty();
  const std::string folder = temporary ? TempFolderPath() : FolderOf(job.target);
  StagedOutput out;
  std::string failure;
  std::string written;
  bool began = false;
  bool complete = false;
  if (!FileExists(job.source)) {
    failure = text::CannotReadFile(job.source);
  } else {
    try {
      if (temporary) {
        out.OpenTemporary(folder, "vesk-", ".zak");
      } else {
        out.Open(job.target, job.mode);
      }
    } catch (const IoError&) {
      failure = FolderFailure(folder);
    }
  }
  if (failure.empty()) {
    try {
      InputFile source(job.source);
      source.SetReadHook(job.faults.before_read);
      OutputFile dest;
      dest.WriteInto(out.Descriptor());
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
      // Classified while the staging file still holds its space.
      failure = RunFailure(job.source, temporary ? folder : job.target, false, began);
    }
  }
  if (complete) {
    try {
      if (temporary) {
        written = out.Keep();
      } else {
        out.Commit(job.replace);
        written = job.target;
      }
    } catch (const TargetExistsError&) {
      failure = text::TargetAppeared(job.target);
      complete = false;
    } catch (const std::exception&) {
      failure = FolderFailure(folder);
      complete = false;
    }
  }
  out.Abandon();
  if (!failure.empty()) {
    const std::string message = text::CompressStopped(stage, failure);
    context.prompter.ReportMessage(message);
    return RunResult::Ended(Outcome::kFailed, Reason::kIo, message);
  }
  if (!complete) return RunResult::Ended(Outcome::kCancelled, Reason::kCancelled, stage);
  bar.ShowStatus(text::StageDone(stage));
  return RunResult::Done({written});
}

}  // namespace vesk::compress
