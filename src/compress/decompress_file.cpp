#include "compress/decompress_file.h"

#include <algorithm>

#include "compress/byte_buffer.h"
#include "compress/inflate_reader.h"
#include "compress/run_failure.h"
#include "compress/texts.h"
#include "platform/file_io.h"
#include "platform/staged_file.h"

namespace vesk::compress {
namespace {

constexpr std::size_t kBatch = 16 * 65535;

}  // namespace

RunResult DecompressFile(const DecompressJob& job, RunContext& context) {
  Progress& bar = context.progress;
  bar.ShowStatus(text::kDecompressing);
  const std::string stage = text::kDecompressing;
  if (!bar.Staged()) {
    const int64_t size = FileSizeOf(job.source);
    bar.PlanStages({size, size});
  }
  const std::size_t check_stage = bar.StageCount() - 2;
  const std::size_t write_stage = bar.StageCount() - 1;
  bool began = false;
  bool committed = false;
  std::string failure;
  {
    StagedOutput out;
    out.SetWriteHook(job.faults.before_write);
    try {
      out.Open(job.target, job.mode);
    } catch (...) {
      failure = FolderFailure(FolderOf(job.target));
    }
    if (failure.empty()) {
      try {
        InputFile in(job.source);
        if (job.faults.before_read) in.SetReadHook(job.faults.before_read);
        const int64_t size = in.Size();
        InflateReader inflater(in);
        ByteBuffer buffer(kBatch);
        // One pass: the stream is inflated into the staged output, which is
        // put in place only once the whole stream has been read and its
        // Adler-32 check passed; a refused stream leaves nothing, as a check
        // pass before the writing did. The bar follows the source read, its
        // first half as the check stage and the rest as the write stage.
        const int64_t half = size / 2;
        bar.BeginStage(check_stage);
        bar.SetBarRange(std::max<int64_t>(half, 1));
        bool second_half = false;
        int64_t total = 0;
        for (;;) {
          if (context.stop.StopRequested()) break;
          const std::size_t got = inflater.Read(buffer.data(), buffer.size());
          try {
            out.Write(buffer.data(), got);
          } catch (...) {
            began = true;  // a failure of the output, not of the stream
            throw;
          }
          total += static_cast<int64_t>(got);
          const int64_t read = in.Position();
          if (!second_half && read > half) {
            second_half = true;
            bar.BeginStage(write_stage);
            bar.SetBarRange(std::max<int64_t>(size - half, 1));
          }
          bar.SetBarPosition(second_half ? read - half : read);
          if (got < buffer.size()) break;
        }
        if (!context.stop.StopRequested()) {
          began = true;
          if (!second_half) bar.BeginStage(write_stage);
          bar.SetProgressTotal(total);
          bar.SetBarRange(Progress::BarMaxFor(total));
          bar.SetBarPosition(bar.BarPositionFor(total));
          out.Commit(job.replace);
          committed = true;
        }
      } catch (const TargetExistsError&) {
        failure = text::TargetAppeared(job.target);
      } catch (...) {
        failure = began ? RunFailure(job.source, job.target, true, true)
                        : (FileExists(job.source) ? text::kNotCompressedHere : text::CannotReadFile(job.source));
      }
    }
    if (!committed) out.Abandon();
  }
  // The deciphered copy is the run's own temporary file: gone before
  // anything is shown.
  if (job.delete_source) DeleteFile(job.source);
  if (!failure.empty()) {
    const std::string message = text::DecompressStopped(stage, failure);
    context.prompter.ReportMessage(message);
    return RunResult::Ended(Outcome::kFailed, Reason::kIo, message);
  }
  if (!committed) {
    return RunResult::Ended(Outcome::kCancelled, Reason::kCancelled, stage);
  }
  bar.ShowStatus(job.delete_source ? std::string(text::kDecryptedDone) : text::StageDone(stage));
  return RunResult::Done({job.target});
}

}  // namespace vesk::compress
