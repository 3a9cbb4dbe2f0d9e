#include "crypto/keyed/encrypt_engine.h"

#include <algorithm>
#include <vector>

#include "crypto/keyed/cipher.h"
#include "crypto/keyed/container.h"
#include "crypto/keyed/texts.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/staged_file.h"
#include "platform/write_behind.h"

namespace vesk::keyed {
namespace {

constexpr std::size_t kChunk = 1 << 20;  // bytes read per call; a multiple of 4
constexpr int64_t kHeaderOffset = 260;    // payload offset of the salt block in a split container

class Engine {
 public:
  Engine(const EncryptJob& job, RunContext& context, RandomSource& random)
      : job_(job), context_(context), random_(random) {}

  RunResult Run();

 private:
  bool Stopped() const { return context_.stop.StopRequested(); }
  // The temporary compressed copy never outlives the engine.
  void CleanUp() {
    source_.Close();
    if (job_.pre_zip_level == 0 || ReleaseUnnamed(job_.source_path)) return;
    if (ExtractFileExt(job_.source_path) == ".zak" && PathExists(job_.source_path)) DeleteFile(job_.source_path);
  }
  // Every ending goes through here: the copy is gone before the caller
  // shows anything.
  RunResult End(Outcome outcome, Reason code, std::string text) {
    CleanUp();
    return RunResult::Ended(outcome, code, std::move(text));
  }
  RunResult Cancelled() { return End(Outcome::kCancelled, Reason::kCancelled, text::kEncryptCancelled); }
  // A failure while reading or writing: a full disk says so as its reason.
  RunResult Failed() {
    const bool full = LowOnSpace(FolderOf(job_.target_path));
    return End(Outcome::kFailed, full ? Reason::kNoSpace : Reason::kIo, text::kEncryptFailed);
  }
  // A target that is the source, or that a commit could not replace.
  bool Replaceable() const {
    return !SameFile(job_.source_path, job_.target_path) && vesk::Replaceable(job_.target_path);
  }
  RunResult ReplaceFailed() {
    return End(Outcome::kRefused, Reason::kTargetKept, text::EncryptReplaceFailed(job_.target_path));
  }
  uint8_t ChooseVersion();
  void WritePayload(StagedOutput& out, const Header& h);

  const EncryptJob& job_;
  RunContext& context_;
  RandomSource& random_;
  InputFile source_;
};

uint8_t Engine::ChooseVersion() {
  if (job_.info_click_count <= 7) return kVersionCurrent;
  Prompter& ask = context_.prompter;
  if (!ask.AskAlgorithm(AlgorithmQuestion::kOld, text::kOldAlgorithmQuestion, text::kAlgorithmCaption)) {
    return kVersionCurrent;
  }
  return ask.AskAlgorithm(AlgorithmQuestion::kOlder, text::kOlderAlgorithmQuestion, text::kAlgorithmCaption)
             ? kVersionOlder
             : kVersionOld;
}

RunResult Engine::Run() {
  if (job_.key.empty()) return End(Outcome::kRefused, Reason::kNoKey, text::kEncryptEmptyKey);
  context_.progress.ShowStatus(text::kEncryptRunning);
  if (Stopped()) return Cancelled();
  if (!FileExists(job_.source_path)) {
    return End(Outcome::kRefused, Reason::kNoSource, text::EncryptSourceMissing(job_.source_path));
  }
  if (Stopped()) return Cancelled();

  int64_t size = 0;
  Header header;
  try {
    source_.Open(job_.source_path);
    source_.SetReadHook(job_.faults.before_read);
    size = source_.Size();
    if (size < 1) return End(Outcome::kRefused, Reason::kNoSource, text::kEncryptEmpty);
    if (size > kMaxPayloadSize) return End(Outcome::kRefused, Reason::kUnsupported, text::kEncryptTooLarge);
    if (job_.key.size() > kMaxKeyBytes) return End(Outcome::kFailed, Reason::kUnsupported, text::kEncryptFailed);
    ContainerParams params;
    params.key = job_.key;
    params.pre_zip_level = job_.pre_zip_level;
    params.layer = job_.layer_number;
    params.ext = job_.original_ext;
    params.payload_size = size;
    if (Stopped()) return Cancelled();
    params.version = ChooseVersion();
    header = BuildHeader(params, random_);
    if (Stopped()) return Cancelled();
  } catch (...) {
    return End(Outcome::kFailed, Reason::kIo, text::kEncryptFailed);
  }

  // The container is written beside the target under a staging name and
  // renamed over it only when complete, so whatever stands at the target
  // survives a failure or a cancel. Replacing the source with its own
  // container (by its name or through a link) is refused; so is a target
  // that a rename could not replace, and one that has appeared since the
  // command found the name free.
  const bool replace = job_.replace_target.value_or(PathExists(job_.target_path));
  if (!Replaceable() || (!replace && PathExists(job_.target_path))) return ReplaceFailed();

  StagedOutput target;
  target.SetWriteHook(job_.faults.before_write);
  try {
    target.Open(job_.target_path, job_.target_mode.value_or(PermissionsOfOpen(source_.Descriptor())));
    target.Reserve(header.payload_size);
  } catch (...) {
    return Failed();
  }

  bool error = false;
  try {
    if (!header.Split()) {
      target.Write(header.salt);
      target.Write(header.length);
      target.Write(header.descriptor);
      target.Write(header.key_check);
    }
    if (!Stopped()) WritePayload(target, header);
    // Without its trailer the container cannot be read back whole: every
    // byte of it is checked like the payload.
    if (!Stopped()) target.Write(header.trailer);
  } catch (...) {
    error = true;
  }

  // A cancel is a cancel even when a write failed meanwhile.
  if (Stopped()) {
    target.Abandon();
    return Cancelled();
  }
  if (error) {
    target.Abandon();
    return Failed();
  }
  // The target may have become the source (a link to it) while the
  // container was written: the source then stays as it is.
  if (!Replaceable()) {
    target.Abandon();
    return ReplaceFailed();
  }
  try {
    target.Commit(replace);
  } catch (const TargetExistsError&) {
    return ReplaceFailed();
  } catch (...) {
    // Data that did not reach the disk is a failed container, not a finished one.
    return Failed();
  }
  CleanUp();
  context_.progress.ProgressComplete();
  RunResult done = RunResult::Done({job_.target_path});
  done.reason = text::kEncryptDone.str();
  return done;
}

void Engine::WritePayload(StagedOutput& out, const Header& h) {
  const int64_t size = h.payload_size;
  const bool bytes = h.version == kVersionOlder;
  const int64_t unit = bytes ? 1 : 4;
  const int64_t body = bytes ? size : size - size % 4;  // bytes handled unit by unit
  PayloadCipher cipher = h.MakeCipher(CipherDirection::kEncrypt);
  context_.progress.ProgressStart(size);
  source_.Seek(0);

  // A split container holds its header blocks after the units that end at
  // payload offsets 260 and P (at most 514): that lead-in is written piece by
  // piece, the rest streams through the write-behind buffers.
  int64_t pos = 0;
  if (h.Split()) {
    const int64_t p = h.insertion_point;
    std::vector<uint8_t> lead(static_cast<std::size_t>(p));
    source_.ReadExact(lead.data(), lead.size());
    cipher.Transform(lead.data(), lead.data(), lead.size());
    out.Write(lead.data(), static_cast<std::size_t>(kHeaderOffset));
    out.Write(h.salt);
    out.Write(h.length);
    out.Write(h.descriptor);
    out.Write(lead.data() + kHeaderOffset, static_cast<std::size_t>(p - kHeaderOffset));
    out.Write(h.key_check);
    if (Stopped()) return;
    context_.progress.ProgressSteps(unit, unit, p / unit);
    pos = p;
  }

  if (pos < body) {
    // Buffers no larger than the payload: a tiny file pays no megabytes of page faults.
    const auto buffer_size = static_cast<std::size_t>(std::min<int64_t>(kChunk, body - pos));
    WriteBehind behind([&out](const uint8_t* data, std::size_t n) { out.Write(data, n); }, buffer_size);
    while (pos < body) {
      const std::size_t n = static_cast<std::size_t>(std::min<int64_t>(kChunk, body - pos));
      uint8_t* buffer = behind.Next();
      source_.ReadExact(buffer, n);
      cipher.Transform(buffer, buffer, n);
      behind.Commit(n);
      if (Stopped()) return;
      context_.progress.ProgressSteps(pos + unit, unit, static_cast<int64_t>(n) / unit);
      pos += static_cast<int64_t>(n);
    }
    behind.Flush();
  }
  if (!bytes && size % 4 != 0) {
    uint8_t tail[4];
    const std::size_t t = static_cast<std::size_t>(size % 4);
    source_.ReadExact(tail, t);
    cipher.TransformTail(tail, tail, t);
    out.Write(tail, t);
  }
}

}  // namespace

RunResult EncryptEngine(const EncryptJob& job, RunContext& context, RandomSource& random) {
  return Engine(job, context, random).Run();
}

}  // namespace vesk::keyed
