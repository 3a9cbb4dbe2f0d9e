#include "compress/stream_zak.h"

#include <functional>
#include <optional>

#include "compress/byte_buffer.h"
#include "compress/compress_file.h"
#include "compress/inflate_reader.h"
#include "compress/parallel_deflate.h"
#include "compress/run_failure.h"
#include "compress/texts.h"
#include "platform/file_io.h"
#include "platform/staged_file.h"
#include "platform/stream_target.h"

namespace vesk::compress {
namespace {

constexpr std::size_t kPiece = kParallelBlockSize;

// The run's source: standard input or a file, each read call filling its
// buffer except at the end. Throws IoError.
class Input {
 public:
  explicit Input(const std::string& source) {
    if (!IsStandardStream(source)) file_.emplace(source);
  }
  std::size_t Read(void* buf, std::size_t n) {
    if (file_) return file_->Read(buf, n);
    std::size_t done = 0;
    while (done < n) {
      const long got = StandardInput::Get().Read(static_cast<char*>(buf) + done, n - done);
      if (got < 0) ThrowIoError("cannot read standard input");
      if (got == 0) break;
      done += static_cast<std::size_t>(got);
    }
    return done;
  }

 private:
  std::optional<InputFile> file_;
};

// The run's output: a stream written into, or a staged file.
class Output {
 public:
  explicit Output(const StreamJob& job) : job_(job), streaming_(IsStreamTarget(job.target)) {
    if (streaming_) {
      stream_.SetWriteHook(job.faults.before_write);
      stream_.Open(job.target);
    } else {
      staged_.SetWriteHook(job.faults.before_write);
      staged_.Open(job.target, job.mode);
    }
  }
  void Write(const void* data, std::size_t n) { streaming_ ? stream_.Write(data, n) : staged_.Write(data, n); }
  void Finish() { streaming_ ? stream_.Finish() : staged_.Commit(job_.replace); }

 private:
  const StreamJob& job_;
  bool streaming_;
  StreamTarget stream_;
  StagedOutput staged_;  // abandoned unless committed
};

// Runs `pass` (reading, writing) and ends the run: done, cancelled, or
// failed with the message for what went wrong.
RunResult RunPass(const StreamJob& job, RunContext& context, const char* stage, bool decompress,
                  const std::function<void(Input&, Output&)>& pass) {
  context.progress.ShowStatus(stage);
  std::string failure;
  try {
    Input in(job.source);
    Output out(job);
    pass(in, out);
    if (!context.stop.StopRequested()) out.Finish();
  } catch (const TargetExistsError&) {
    failure = text::TargetAppeared(job.target);
  } catch (const ZlibError&) {
    failure = text::kStreamDamaged.str();
  } catch (const std::exception&) {
    failure = IsStreamTarget(job.target) ? std::string(text::kReadWriteFailed)
                                         : RunFailure(job.source, job.target, decompress, true);
  }
  if (!failure.empty()) {
    const std::string message = decompress ? text::DecompressStopped(stage, failure) : text::CompressStopped(stage, failure);
    context.prompter.ReportMessage(message);
    return RunResult::Ended(Outcome::kFailed, Reason::kIo, message);
  }
  if (context.stop.StopRequested()) return RunResult::Ended(Outcome::kCancelled, Reason::kCancelled, stage);
  context.progress.ShowStatus(text::StageDone(stage));
  return RunResult::Done({job.target});
}

}  // namespace

RunResult CompressStream(const StreamJob& job, RunContext& context) {
  return RunPass(job, context, text::kCompressing, false, [&](Input& in, Output& out) {
    ParallelDeflateWriter deflater([&out](const void* data, std::size_t n) { out.Write(data, n); },
                                   ZlibLevelFor(job.level), CompressionThreads());
    ByteBuffer piece(kPiece);
    for (;;) {
      if (context.stop.StopRequested()) return;
      const std::size_t got = in.Read(piece.data(), piece.size());
      if (got > 0) deflater.Write(piece.data(), got);
      if (got < piece.size()) break;
    }
    deflater.Finish();
  });
}

RunResult DecompressStream(const StreamJob& job, RunContext& context) {
  return RunPass(job, context, text::kDecompressing, true, [&](Input& in, Output& out) {
    InflateReader inflater([&in](void* buf, std::size_t n) { return in.Read(buf, n); });
    ByteBuffer piece(kPiece);
    for (;;) {
      if (context.stop.StopRequested()) return;
      const std::size_t got = inflater.Read(piece.data(), piece.size());
      out.Write(piece.data(), got);
      if (got < piece.size()) break;
    }
  });
}

}  // namespace vesk::compress
