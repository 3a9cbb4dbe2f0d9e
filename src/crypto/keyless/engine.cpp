#include "crypto/keyless/engine.h"

#include <functional>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
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

void ResetItem(const KeylessJob& job, Reporter& reporter) { reporter.RestoreItem(job.reset_item, Operation::MenuCommand); }

// The key-stream operations stop the run on an internal failure (memory):
// both run flags are cleared, and the engine ends at its next flag check.
template <typename Fn>
KeyStream Guarded(Reporter& reporter, Fn fn) {
  try {
    return fn();
  } catch (...) {
    reporter.Flags().KeepRunning = false;
    reporter.Flags().KeepDecrypting = false;
    reporter.Beep();
    return {};
  }
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
  bool replace() const { return replace_; }

 private:
  const KeylessJob& job_;
  bool replace_;
};

// Checks that the destination may be replaced and creates its staging file.
// False when the run has ended, reported and with its item reset.
bool CreateTarget(const KeylessJob& job, Reporter& reporter, std::atomic<bool>& keep, InputFile& source,
                  Target& target, mode_t mode, const std::string& replace_failed,
                  const std::function<void()>& fail_early) {
  if (!target.MayReplace()) {
    keep = false;
    source.Close();
    reporter.ReportMessage(replace_failed);
    ResetItem(job, reporter);
    return false;
  }
  try {
    target.Open(job.target_path, mode);
    return true;
  } catch (...) {
    source.Close();
    fail_early();
    return false;
  }
}

// What a run shows at its end.
struct EndTexts {
  std::string failed;
  std::string replace_failed;
  const char* done;
  const char* cancelled;
  bool beep_on_failure;
};

// Ends a run that got as far as its payload: a complete output is flushed
// and put in the target's place (a flush, close or rename that fails is a
// failed run); anything else is discarded, the target left as it was. Then
// the failure, the completion or the cancel is shown.
void Finish(const KeylessJob& job, Reporter& reporter, std::atomic<bool>& keep, InputFile& source, Target& target,
            bool failed, const EndTexts& outcome) {
  source.Close();
  bool refused = false;
  if (!failed && keep) {
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
  ResetItem(job, reporter);
  if (refused) {
    keep = false;
    reporter.EndRun(Outcome::kRefused, outcome.replace_failed);
    reporter.ReportMessage(outcome.replace_failed);
  } else if (failed) {
    keep = false;
    reporter.EndRun(Outcome::kFailed, outcome.failed);
    reporter.ReportMessage(outcome.failed);
    if (outcome.beep_on_failure) reporter.Beep();
  } else if (keep) {
    reporter.Complete({job.target_path});
    reporter.ShowStatus(outcome.done);
    keep = false;
  } else {
    reporter.EndRun(Outcome::kCancelled, outcome.cancelled);
    reporter.ShowStatus(outcome.cancelled);
  }
}

// Streams `bytes` (whole words) from `source` through `cipher` into `target`.
// Progress and the run flag follow word-by-word processing: after each word
// the flag is polled and, while it holds, the read position is reported with
// a step of 4; here both happen once per buffer. The writes run behind on a
// helper thread, which has finished when this returns. Returns false when
// stopped.
bool StreamWords(InputFile& source, Target& target, WordCipher& cipher, int64_t bytes,
                 const std::atomic<bool>& keep, Reporter& reporter) {
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
    if (!keep) return false;
    reporter.ProgressSteps(position + 4, 4, static_cast<int64_t>(chunk / 4));
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

Version ChooseVersion(uint8_t info_click_count, Reporter& reporter) {
  if (info_click_count <= 7) return Version::kCurrent;
  if (!reporter.AskAlgorithm(AlgorithmQuestion::kOld, text::kOldQuestion, text::kAlgorithmCaption)) {
    return Version::kCurrent;
  }
  return reporter.AskAlgorithm(AlgorithmQuestion::kOlder, text::kOlderQuestion, text::kAlgorithmCaption)
             ? Version::kOlder
             : Version::kOld;
}

}  // namespace

void EncryptKeyless(const KeylessJob& job, Reporter& reporter, RandomSource& random) {
  std::atomic<bool>& keep = reporter.Flags().KeepRunning;
  const bool replace = job.replace_target.value_or(PathExists(job.target_path));
  // A failure before the payload: the run ends with the failure message.
  auto fail_early = [&] {
    keep = false;
    reporter.ReportMessage(text::EncryptFailed(job.source_path));
    ResetItem(job, reporter);
  };

  if (job.key.empty()) {
    keep = false;
    ResetItem(job, reporter);
    reporter.Beep();
    return;
  }

  RandomBlock r{};
  try {
    r = DrawRandomBlock(random);
  } catch (...) {
    fail_early();
    return;
  }
  KeyStream k = Guarded(reporter, [&] { return DeriveKeyStream(Selector(job.key, r), job.key, r); });
  if (!keep) return;

  if (!FileExists(job.source_path)) {
    reporter.ReportMessage(text::EncryptSourceMissing(job.source_path));
    ResetItem(job, reporter);
    return;
  }
  InputFile source;
  int64_t size = 0;
  try {
    source.Open(job.source_path);
    source.SetReadHook(job.faults.before_read);
    size = source.Size();
  } catch (...) {
    source.Close();
    fail_early();
    return;
  }
  if (size == 0 || size > kMaxPlainSize) {
    reporter.ReportMessage(size == 0 ? text::kEncryptEmpty : text::kEncryptTooLarge);
    ResetItem(job, reporter);
    source.Close();
    return;
  }

  Target target(job, replace);
  // The container is as private as the file it is made from.
  if (!CreateTarget(job, reporter, keep, source, target, PermissionsOfOpen(source.Descriptor()),
                    text::EncryptReplaceFailed(job.target_path), fail_early)) {
    return;
  }

  bool failed = false;
  try {
    const Version version = ChooseVersion(job.info_click_count, reporter);
    const Variant variant = VariantFor(version);
    if (variant.fold) k = Guarded(reporter, [&] { return FoldKeyStream(std::move(k), r); });
    target.Write(BuildHeader(version, r));
    reporter.ProgressStart(size);
    const uint32_t step = StepValue(variant.step, KeyDigit(job.key));

    if (!keep) {
      // Stopped before the payload: leave nothing and say nothing; the
      // cancelling command has already reset its item.
      source.Close();
      target.Abandon();
      return;
    }

    source.Seek(0);
    WordCipher cipher(Direction::kEncrypt, variant.words, step, k);
    if (StreamWords(source, target, cipher, size / 4 * 4, keep, reporter)) {
      StreamTail(source, target, Direction::kEncrypt, k, static_cast<std::size_t>(size % 4));
      // A container without its trailer would decrypt to a shortened file,
      // so a failure here fails the run instead of passing unnoticed.
      if (keep) target.Write(BuildTrailer(r));
    }
  } catch (...) {
    failed = true;
  }

  Finish(job, reporter, keep, source, target, failed,
         {text::EncryptFailed(job.source_path), text::EncryptReplaceFailed(job.target_path), text::kEncryptDone,
          text::kEncryptCancelled, false});
}

void DecryptKeyless(const KeylessJob& job, Reporter& reporter) {
  std::atomic<bool>& keep = reporter.Flags().KeepDecrypting;
  const bool replace = job.replace_target.value_or(PathExists(job.target_path));
  auto fail_early = [&] {
    keep = false;
    reporter.ReportMessage(text::DecryptFailed(job.source_path));
    reporter.Beep();
    ResetItem(job, reporter);
  };

  if (job.key.empty()) {
    keep = false;
    ResetItem(job, reporter);
    reporter.Beep();
    return;
  }
  if (!FileExists(job.source_path)) {
    reporter.ReportMessage(text::DecryptSourceMissing(job.source_path));
    ResetItem(job, reporter);
    return;
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
    fail_early();
    return;
  }
  // The limit lets through the container of a plain file of exactly 4 GiB,
  // which the encryption accepts.
  if (size == 0 || size > kMaxContainerSize) {
    reporter.ReportMessage(size == 0 ? text::kDecryptEmpty : text::kDecryptTooLarge);
    ResetItem(job, reporter);
    source.Close();
    return;
  }

  const std::optional<Recognised> format = Recognise(head);
  if (!format) {
    reporter.ReportMessage(text::kNotKeyless);
    ResetItem(job, reporter);
    source.Close();
    return;
  }
  if (format->newer && !reporter.AskYesNo(text::kNewerQuestion, text::kNewerCaption)) {
    source.Close();
    ResetItem(job, reporter);
    return;
  }

  // A container without payload is refused before the destination is
  // touched, so that a refused run does not cost an existing file.
  const int64_t payload = size - static_cast<int64_t>(format->p) - kFixedOverhead;
  if (payload < 1) {
    keep = false;
    reporter.ReportMessage(text::kPayloadTooSmall);
    ResetItem(job, reporter);
    source.Close();
    reporter.ShowStatus(text::kDecryptCancelled);
    return;
  }

  const RandomBlock r = ReadRandomBlock(head, format->p);
  KeyStream k = Guarded(reporter, [&] { return DeriveKeyStream(Selector(job.key, r), job.key, r); });
  if (format->variant.fold) k = Guarded(reporter, [&] { return FoldKeyStream(std::move(k), r); });
  if (!keep) {
    source.Close();
    return;
  }

  // The decrypted file is as private as its container.
  Target target(job, replace);
  if (!CreateTarget(job, reporter, keep, source, target, PermissionsOf(job.source_path),
                    text::DecryptReplaceFailed(job.target_path), fail_early)) {
    return;
  }

  bool failed = false;
  try {
    reporter.ProgressStart(payload);
    const uint32_t step = StepValue(format->variant.step, KeyDigit(job.key));
    source.Seek(static_cast<int64_t>(PayloadOffset(format->p)));
    WordCipher cipher(Direction::kDecrypt, format->variant.words, step, k);
    if (StreamWords(source, target, cipher, payload / 4 * 4, keep, reporter)) {
      StreamTail(source, target, Direction::kDecrypt, k, static_cast<std::size_t>(payload % 4));
    }
  } catch (...) {
    failed = true;
  }

  Finish(job, reporter, keep, source, target, failed,
         {text::DecryptFailed(job.source_path), text::DecryptReplaceFailed(job.target_path), text::kDecryptDone,
          text::kDecryptCancelled, true});
}

}  // namespace vesk::keyless
