#include "crypto/keyless/engine.h"

#include <functional>

#include <sys/stat.h>

#include <algorithm>
#include <optional>
#include <exception>
#include <vector>

#include "crypto/keyless/cipher.h"
#include "crypto/keyless/format.h"
#include "crypto/keyless/texts.h"
#include "platform/file_io.h"
#include "platform/staged_file.h"
#include "platform/write_behind.h"

namespace vesk::keyless {

namespace {

// Plain files up to 4 GiB are accepted; a container of the largest plain file
// carries the header bytes, the marker, R and the trailer on top of it.
constexpr int64_t kMaxPlainSize = int64_t{1} << 32;
constexpr int64_t kMaxContainerSize = kMaxPlainSize + 2 + kFixedOverhead;

// The key-stream operations end the run on an internal failure (memory):
// `broken` is set and the engine returns a failed run at its next check.
template <typename Fn>
KeyStream Guarded(bool& broken, Fn fn) {
  try {
    return fn();
  } catch (...) {
    broken = true;
    return {};
  }
}

RunResult Internal() { return RunResult::Ended(Outcome::kFailed, Reason::kUnspecified); }
RunResult Silent() { return RunResult::Ended(Outcome::kCancelled, Reason::kCancelled); }

// A refusal before anything was written: the message, and the run ended so.
RunResult Refuse(RunContext& context, Reason code, const std::string& text) {
  context.prompter.ReportMessage(text);
  return RunResult::Ended(Outcome::kRefused, code, text);
}

// A failure before the payload: the message, and the run ended as failed.
RunResult FailEarly(RunContext& context, const std::string& text) {
  context.prompter.ReportMessage(text);
  return RunResult::Ended(Outcome::kFailed, Reason::kIo, text);
}

// The destination: written under a staging name beside the target and put
// in the target's place only when complete, so that a failure or a cancel
// leaves whatever stood there untouched. The test hook runs before each write.
class Target : public StagedOutput {
 public:
  Target(const KeylessJob& job, bool replace) : job_(job), replace_(replace) { SetWriteHook(job.faults.before_write); }

  // False when the target is the source (by its name or through a link), is
  // something a rename cannot replace, or has appeared since the command
  // found the name free.
  bool MayReplace() const {
    return !SameFile(job_.source_path, job_.target_path) && Replaceable(job_.target_path) &&
           (replace_ || !PathExists(job_.target_path));
  }
  Reason WhyNot() const { return SameFile(job_.source_path, job_.target_path) ? Reason::kSameFile : Reason::kTargetKept; }
  bool replace() const { return replace_; }

 private:
  const KeylessJob& job_;
  bool replace_;
};

// Checks that the destination may be replaced and creates its staging file
// with room for `size` bytes set aside; the run's end when it may not or
// cannot be.
std::optional<RunResult> CreateTarget(const KeylessJob& job, RunContext& context, InputFile& source, Target& target,
                                      mode_t mode, int64_t size, const std::string& replace_failed,
                                      const std::string& failed) {
  if (!target.MayReplace()) {
    source.Close();
    return Refuse(context, target.WhyNot(), replace_failed);
  }
  try {
    target.Open(job.target_path, mode);
    target.Reserve(size);
    return std::nullopt;
  } catch (...) {
    source.Close();
    return FailEarly(context, failed);
  }
}

// What a run shows at its end.
struct EndTexts {
  std::string failed;
  std::string replace_failed;
  const char* done;
  const char* cancelled;
};

// Ends a run that got as far as its payload: a complete output is flushed
// and put in the target's place (a flush, close or rename that fails is a
// failed run); anything else is discarded, the target left as it was. Then
// the failure, the completion or the cancel is shown.
RunResult Finish(const KeylessJob& job, RunContext& context, bool stopped, InputFile& source, Target& target,
                 bool failed, const EndTexts& texts) {
  source.Close();
  bool refused = false;
  if (!failed && !stopped) {
    if (!target.MayReplace()) {
      refused = true;
    } else {
      try {
        target.Commit(target.replace());
      } catch (const TargetExistsError&) {
        refused = true;
      } catch (...) {
        failed = true;
      }
    }
  }
  target.Abandon();
  if (refused) return Refuse(context, Reason::kTargetKept, texts.replace_failed);
  if (failed) {
    context.prompter.ReportMessage(texts.failed);
    return RunResult::Ended(Outcome::kFailed, Reason::kIo, texts.failed);
  }
  if (!stopped) {
    context.progress.ShowStatus(texts.done);
    return RunResult::Done({job.target_path});
  }
  context.progress.ShowStatus(texts.cancelled);
  return RunResult::Ended(Outcome::kCancelled, Reason::kCancelled, texts.cancelled);
}

// Streams `bytes` (whole words) from `source` through `cipher` into `target`.
// Progress and the stop token follow word-by-word processing: after each
// word the token is polled and, while the run goes on, the read position is
// reported with a step of 4; here both happen once per buffer. The writes
// run behind on a helper thread, which has finished when this returns.
// Returns false when stopped.
bool StreamWords(InputFile& source, Target& target, WordCipher& cipher, int64_t bytes, const StopToken& stop,
                 Progress& progress) {
  if (bytes == 0) return true;
  const std::size_t buffer_size = static_cast<std::size_t>(std::min<int64_t>(bytes, kStreamBufferSize));
  WriteBehind writer([&target](const uint8_t* data, std::size_t n) { target.Write(data, n); }, buffer_size);
  int64_t position = source.Position();
  while (bytes > 0) {
    const std::size_t chunk = static_cast<std::size_t>(std::min<int64_t>(bytes, kStreamBufferSize));
    uint8_t* buffer = writer.Next();
    source.ReadExact(buffer, chunk);
    cipher.Transform(std::span(buffer, chunk));
    writer.Commit(chunk);
    if (stop.StopRequested()) return false;
    progress.ProgressSteps(position + 4, 4, static_cast<int64_t>(chunk / 4));
    position += static_cast<int64_t>(chunk);
    bytes -= static_cast<int64_t>(chunk);
  }
  writer.Flush();
  return true;
}

void StreamTail(InputFile& source, Target& target, Direction direction, const KeyStream& k, std::size_t count) {
  uint8_t tail[3];
  source.ReadExact(tail, count);
  TransformTail(direction, k, std::span(tail, count));
  target.Write(tail, count);
}

Version ChooseVersion(const KeylessJob& job, Prompter& prompter) {
  if (job.version) return *job.version;
  if (job.info_click_count <= 7) return Version::kCurrent;
  if (!prompter.AskAlgorithm(AlgorithmQuestion::kOld, text::kOldQuestion, text::kAlgorithmCaption)) {
    return Version::kCurrent;
  }
  return prompter.AskAlgorithm(AlgorithmQuestion::kOlder, text::kOlderQuestion, text::kAlgorithmCaption)
             ? Version::kOlder
             : Version::kOld;
}

}  // namespace

RunResult EncryptKeyless(const KeylessJob& job, RunContext& context, RandomSource& random) {
  const StopToken& stop = context.stop;
  const bool replace = job.replace_target.value_or(PathExists(job.target_path));
  if (job.key.empty()) return RunResult::Ended(Outcome::kRefused, Reason::kNoKey);

  RandomBlock r{};
  try {
    r = DrawRandomBlock(random);
  } catch (...) {
    return FailEarly(context, text::EncryptFailed(job.source_path));
  }
  bool broken = false;
  KeyStream k = Guarded(broken, [&] { return DeriveKeyStream(Selector(job.key, r), job.key, r); });
  if (broken) return Internal();
  if (stop.StopRequested()) return Silent();

  if (!FileExists(job.source_path)) {
    return Refuse(context, Reason::kNoSource, text::EncryptSourceMissing(job.source_path));
  }
  InputFile source;
  int64_t size = 0;
  try {
    source.Open(job.source_path);
    source.SetReadHook(job.faults.before_read);
    size = source.Size();
  } catch (...) {
    source.Close();
    return FailEarly(context, text::EncryptFailed(job.source_path));
  }
  if (size == 0 || size > kMaxPlainSize) {
    source.Close();
    return size == 0 ? Refuse(context, Reason::kNoSource, text::kEncryptEmpty)
                     : Refuse(context, Reason::kUnsupported, text::kEncryptTooLarge);
  }

  Target target(job, replace);
  // The container is as private as the file it is made from.
  if (auto ended = CreateTarget(job, context, source, target, PermissionsOfOpen(source.Descriptor()), size,
                                text::EncryptReplaceFailed(job.target_path), text::EncryptFailed(job.source_path))) {
    return *ended;
  }

  bool failed = false;
  try {
    const Version version = ChooseVersion(job, context.prompter);
    const Variant variant = VariantFor(version);
    if (variant.fold) k = Guarded(broken, [&] { return FoldKeyStream(std::move(k), r); });
    target.Write(BuildHeader(version, r));
    context.progress.ProgressStart(size);
    const uint32_t step = StepValue(variant.step, KeyDigit(job.key));

    if (broken || stop.StopRequested()) {
      // Stopped before the payload: leave nothing and say nothing; the
      // cancel has said what happened.
      source.Close();
      target.Abandon();
      return broken ? Internal() : Silent();
    }

    source.Seek(0);
    WordCipher cipher(Direction::kEncrypt, variant.words, step, k);
    if (StreamWords(source, target, cipher, size / 4 * 4, stop, context.progress)) {
      StreamTail(source, target, Direction::kEncrypt, k, static_cast<std::size_t>(size % 4));
      // A container without its trailer would decrypt to a shortened file,
      // so a failure here fails the run instead of passing unnoticed.
      if (!stop.StopRequested()) target.Write(BuildTrailer(r));
    }
  } catch (...) {
    failed = true;
  }

  return Finish(job, context, stop.StopRequested(), source, target, failed,
                {text::EncryptFailed(job.source_path), text::EncryptReplaceFailed(job.target_path), text::kEncryptDone,
                 text::kEncryptCancelled});
}

RunResult DecryptKeyless(const KeylessJob& job, RunContext& context) {
  const StopToken& stop = context.stop;
  const bool replace = job.replace_target.value_or(PathExists(job.target_path));
  if (job.key.empty()) return RunResult::Ended(Outcome::kRefused, Reason::kNoKey);
  if (!FileExists(job.source_path)) {
    return Refuse(context, Reason::kNoSource, text::DecryptSourceMissing(job.source_path));
  }

  InputFile source;
  int64_t size = 0;
  std::vector<uint8_t> head;
  try {
    source.Open(job.source_path);
    source.SetReadHook(job.faults.before_read);
    size = source.Size();
    if (size > 0 && size <= kMaxContainerSize) {
      head.resize(static_cast<std::size_t>(std::min<int64_t>(size, kMaxHeaderSize)));
      source.ReadExact(head.data(), head.size());
    }
  } catch (...) {
    source.Close();
    return FailEarly(context, text::DecryptFailed(job.source_path));
  }
  // The limit lets through the container of a plain file of exactly 4 GiB,
  // which the encryption accepts.
  if (size == 0 || size > kMaxContainerSize) {
    source.Close();
    return size == 0 ? Refuse(context, Reason::kNotAContainer, text::kDecryptEmpty)
                     : Refuse(context, Reason::kUnsupported, text::kDecryptTooLarge);
  }

  const std::optional<Recognised> format = Recognise(head);
  if (!format) {
    source.Close();
    return Refuse(context, Reason::kNotAContainer, text::kNotKeyless);
  }
  if (format->newer && !context.prompter.AskYesNo(text::kNewerQuestion, text::kNewerCaption)) {
    source.Close();
    return Silent();
  }

  // A container without payload is refused before the destination is
  // touched, so that a refused run does not cost an existing file.
  const int64_t payload = size - static_cast<int64_t>(format->p) - kFixedOverhead;
  if (payload < 1) {
    source.Close();
    RunResult refused = Refuse(context, Reason::kDamaged, text::kPayloadTooSmall);
    context.progress.ShowStatus(text::kDecryptCancelled);
    return refused;
  }

  const RandomBlock r = ReadRandomBlock(head, format->p);
  bool broken = false;
  KeyStream k = Guarded(broken, [&] { return DeriveKeyStream(Selector(job.key, r), job.key, r); });
  if (format->variant.fold && !broken) k = Guarded(broken, [&] { return FoldKeyStream(std::move(k), r); });
  if (broken || stop.StopRequested()) {
    source.Close();
    return broken ? Internal() : Silent();
  }

  // The decrypted file is as private as its container.
  Target target(job, replace);
  if (auto ended = CreateTarget(job, context, source, target, PermissionsOf(job.source_path), payload,
                                text::DecryptReplaceFailed(job.target_path), text::DecryptFailed(job.source_path))) {
    return *ended;
  }

  bool failed = false;
  try {
    context.progress.ProgressStart(payload);
    const uint32_t step = StepValue(format->variant.step, KeyDigit(job.key));
    source.Seek(static_cast<int64_t>(PayloadOffset(format->p)));
    WordCipher cipher(Direction::kDecrypt, format->variant.words, step, k);
    if (StreamWords(source, target, cipher, payload / 4 * 4, stop, context.progress)) {
      StreamTail(source, target, Direction::kDecrypt, k, static_cast<std::size_t>(payload % 4));
    }
  } catch (...) {
    failed = true;
  }

  return Finish(job, context, stop.StopRequested(), source, target, failed,
                {text::DecryptFailed(job.source_path), text::DecryptReplaceFailed(job.target_path), text::kDecryptDone,
                 text::kDecryptCancelled});
}

}  // namespace vesk::keyless
