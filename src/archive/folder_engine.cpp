#include "archive/folder_engine.h"

#include <cerrno>


#include <atomic>
#include <climits>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <thread>

#include "archive/byte_pipe.h"
#include "archive/packer.h"
#include "archive/texts.h"
#include "archive/tree_walk.h"
#include "archive/unpacker.h"
#include "compress/compressor.h"
#include "compress/parallel_deflate.h"
#include "crypto/age/age.h"
#include "crypto/keyed/container.h"
#include "crypto/keyed/container_stream.h"
#include "crypto/keyed/system_random.h"
#include "crypto/keyed/texts.h"
#include "crypto/keyless/engine.h"
#include "crypto/keyless/stream_writer.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/staged_file.h"

namespace vesk::archive {
namespace {

std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

// True when `target` would be written into `folder` or below it, where the
// packing would meet its own output.
bool InsideFolder(const std::string& target, const std::string& folder) {
  const std::string where = RealPath(FolderOf(target));
  const std::string tree = RealPath(folder);
  if (where.empty() || tree.empty()) return false;
  return where == tree || where.compare(0, tree.size() + 1, tree + "/") == 0;
}

// The folder's name in the archive: its last component, whatever way it
// was named ("a/b/", "." and "/" included).
std::string TopName(const std::string& folder) {
  std::string path = folder;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  std::string name = ExtractFileName(path);
  if (name.empty() || name == "." || name == "..") name = ExtractFileName(RealPath(folder));
  return name.empty() ? std::string("folder") : name;
}

class StagedSink : public ByteSink {
 public:
  explicit StagedSink(StagedOutput& out) : out_(out) {}
  void Write(const void* data, std::size_t n) override { out_.Write(data, n); }

 private:
  StagedOutput& out_;
};

class KeyedSink : public ByteSink {
 public:
  KeyedSink(keyed::ContainerParams params, keyed::RandomSource& random, StagedOutput& out)
      : writer_(std::move(params), random, out) {}
  void Write(const void* data, std::size_t n) override { writer_.Write(data, n); }
  void Finish() { writer_.Finish(); }

 private:
  keyed::ContainerStreamWriter writer_;
};

class KeylessSink : public ByteSink {
 public:
  KeylessSink(const std::string& key, keyless::Version version, const keyless::RandomBlock& r, StagedOutput& out)
      : writer_(key, version, r, out) {}
  void Write(const void* data, std::size_t n) override { writer_.Write(data, n); }
  void Finish() { writer_.Finish(); }

 private:
  keyless::StreamWriter writer_;
};

// One zlib stream, deflated on every processor, in front of `next`.
class DeflateSink : public ByteSink {
 public:
  DeflateSink(int level, ByteSink& next)
      : deflater_([&next](const void* data, std::size_t n) { next.Write(data, n); },
                  ZlibLevelOf(static_cast<TCompressionLevel>(level)), compress::CompressionThreads()) {}
  void Write(const void* data, std::size_t n) override { deflater_.Write(data, n); }
  void Finish() { deflater_.Finish(); }

 private:
  compress::ParallelDeflateWriter deflater_;
};

// The age road: the packer writes into a pipe, and the age encryption reads
// it on a thread of its own, sealing chunks on every processor, into the
// staged output. Memory stays at the pipe's capacity and the library's
// batches whatever the folder holds.
class AgeSink : public ByteSink {
 public:
  AgeSink(const age_files::RecipientSet& recipients, const age_files::EncryptJob& job, StagedOutput& out) {
    encryption_ = std::thread([this, &recipients, &job, &out] {
      const age::ThreadStateRelease release;
      age::CallbackSource in([this](uint8_t* buf, std::size_t n) { return pipe_.Read(buf, n); });
      age::CallbackSink sink([&out](const uint8_t* data, std::size_t n) {
        try {
          out.Write(data, n);
          return true;
        } catch (const std::exception&) {
          return false;
        }
      });
      age::EncryptOptions options;
      options.armor = job.armor;
      options.threads = job.threads;
      result_ = age::Encrypt(recipients.list(), in, sink, options, stop_);
      pipe_.Abandon();  // a packer waiting for room goes on to its end
    });
  }
  AgeSink(const AgeSink&) = delete;
  AgeSink& operator=(const AgeSink&) = delete;
  // Without Finish the data is incomplete: the encryption fails and the
  // staged output is abandoned by its owner.
  ~AgeSink() override {
    stop_ = true;
    pipe_.Fail();
    Join();
  }

  void Write(const void* data, std::size_t n) override {
    if (!pipe_.Write(data, n)) throw std::runtime_error("the age encryption stopped");
  }
  // Ends the stream and waits for the last chunk to be written.
  void Finish() {
    pipe_.Close();
    Join();
    if (!result_.ok()) throw std::runtime_error("the age encryption failed");
  }

 private:
  void Join() {
    if (encryption_.joinable()) encryption_.join();
  }

  BytePipe pipe_;
  std::atomic<bool> stop_{false};
  age::Result result_;
  std::thread encryption_;
};

uint8_t ChooseKeyedVersion(uint8_t clicks, Prompter& r) {
  if (clicks <= 7) return keyed::kVersionCurrent;
  if (!r.AskAlgorithm(AlgorithmQuestion::kOld, keyed::text::kOldAlgorithmQuestion, keyed::text::kAlgorithmCaption)) {
    return keyed::kVersionCurrent;
  }
  return r.AskAlgorithm(AlgorithmQuestion::kOlder, keyed::text::kOlderAlgorithmQuestion, keyed::text::kAlgorithmCaption)
             ? keyed::kVersionOlder
             : keyed::kVersionOld;
}

keyless::Version ChooseKeylessVersion(const PackJob& job, Prompter& r) {
  if (job.keyless_version) return *job.keyless_version;
  if (job.info_click_count <= 7) return keyless::Version::kCurrent;
  if (!r.AskAlgorithm(AlgorithmQuestion::kOld, keyless::text::kOldQuestion, keyless::text::kAlgorithmCaption)) {
    return keyless::Version::kCurrent;
  }
  return r.AskAlgorithm(AlgorithmQuestion::kOlder, keyless::text::kOlderQuestion, keyless::text::kAlgorithmCaption)
             ? keyless::Version::kOlder
             : keyless::Version::kOld;
}

// What the folder did not become when the run did not complete.
const char* NotDone(const PackJob& job) {
  switch (job.road) {
    case Road::kTar: return text::kNotPacked;
    case Road::kCompressed: return text::kNotCompressed;
    default: return text::kNotEncrypted;
  }
}

const char* RunningText(const PackJob& job) {
  switch (job.road) {
    case Road::kTar: return text::kPackingTar;
    case Road::kCompressed: return text::kPackingCompressOnly;
    case Road::kKeyless: return text::kPackingKeyless;
    case Road::kAge: return text::kPackingAge;
    case Road::kKeyed: break;
  }
  return job.level != 0 ? text::kPackingCompressed : text::kPacking;
}

const char* DoneText(const PackJob& job) {
  switch (job.road) {
    case Road::kTar: return text::kTarDone;
    case Road::kCompressed: return text::kCompressDone;
    case Road::kAge: return text::kAgeDone;
    case Road::kKeyed:
    case Road::kKeyless: break;
  }
  return text::kPackDone;
}

// One packing run. It talks to the run's progress and questions and polls
// its stop token.
class Packing {
 public:
  Packing(const PackJob& job, Progress& progress, Prompter& prompter, StopToken stop,
          keyed::RandomSource& keyed_random, keyless::RandomSource& keyless_random)
      : job_(job), p_(progress), q_(prompter), stop_(std::move(stop)), keyed_random_(keyed_random),
        keyless_random_(keyless_random) {}

  RunResult Run();

 private:
  bool Stopped() const { return stop_.StopRequested(); }
  RunResult End(Outcome outcome, Reason code, const std::string& text) {
    q_.ReportMessage(text);
    return RunResult::Ended(outcome, code, text);
  }
  RunResult Failed() {
    const bool full = LowOnSpace(FolderOf(job_.target_path));
    return End(Outcome::kFailed, full ? Reason::kNoSpace : Reason::kIo,
               text::PackFailed(NotDone(job_)) + (full ? text::kDiskFull : ""));
  }
  // Stopped by the user: the cancel has said so.
  RunResult Cancelled() { return RunResult::Ended(Outcome::kCancelled, Reason::kCancelled, text::kPackCancelled); }
  bool Keyed() const { return job_.road == Road::kKeyed || job_.road == Road::kKeyless; }
  PackStats Stream(StagedOutput& out, int64_t weight);

  const PackJob& job_;
  Progress& p_;
  Prompter& q_;
  StopToken stop_;
  keyed::RandomSource& keyed_random_;
  keyless::RandomSource& keyless_random_;
  uint8_t keyed_version_ = keyed::kVersionCurrent;
  keyless::Version keyless_version_ = keyless::Version::kCurrent;
  age_files::RecipientSet recipients_;  // the age road's
};

// The stream from the packer through the road's stages into `out`.
PackStats Packing::Stream(StagedOutput& out, int64_t weight) {
  p_.ProgressStart(weight);
  PackControl control;
  control.stop = stop_;
  control.progress = [this](int64_t done, int64_t delta) { p_.ProgressStep(done, delta); };
  const std::string top = TopName(job_.folder);
  StagedSink file(out);
  switch (job_.road) {
    case Road::kTar:
      return PackTree(job_.folder, top, file, control);
    case Road::kCompressed: {
      DeflateSink deflate(job_.level, file);
      PackStats stats = PackTree(job_.folder, top, deflate, control);
      if (!stats.stopped) deflate.Finish();
      return stats;
    }
    case Road::kKeyless: {
      KeylessSink cipher(job_.key, keyless_version_, keyless::DrawRandomBlock(keyless_random_), out);
      PackStats stats = PackTree(job_.folder, top, cipher, control);
      if (!stats.stopped) cipher.Finish();
      return stats;
    }
    case Road::kAge: {
      AgeSink cipher(recipients_, *job_.age, out);
      PackStats stats = PackTree(job_.folder, top, cipher, control);
      if (!stats.stopped) cipher.Finish();
      return stats;
    }
    case Road::kKeyed: break;
  }
  keyed::ContainerParams params;
  params.key = job_.key;
  params.pre_zip_level = static_cast<uint8_t>(job_.level);
  params.layer = job_.layer_number;
  params.version = keyed_version_;
  params.ext = ".tar";
  KeyedSink cipher(params, keyed_random_, out);
  PackStats stats;
  if (job_.level == 0) {
    stats = PackTree(job_.folder, top, cipher, control);
  } else {
    DeflateSink deflate(job_.level, cipher);
    stats = PackTree(job_.folder, top, deflate, control);
    if (!stats.stopped) deflate.Finish();
  }
  if (!stats.stopped) cipher.Finish();
  return stats;
}

RunResult Packing::Run() {
  if (Keyed() && job_.key.empty()) return End(Outcome::kRefused, Reason::kNoKey, text::kPackEmptyKey);
  if (job_.road == Road::kAge) {
    if (!job_.age) return End(Outcome::kRefused, Reason::kNoKey, text::kPackEmptyKey);
    if (const auto refusal = recipients_.Build(*job_.age, &q_)) return End(Outcome::kRefused, Reason::kNoKey, *refusal);
  }
  if (job_.road == Road::kKeyed && job_.key.size() > keyed::kMaxKeyBytes) {
    return End(Outcome::kFailed, Reason::kUnsupported, text::kPackFailed);
  }
  if (!DirectoryExists(job_.folder)) return End(Outcome::kRefused, Reason::kNoSource, text::FolderMissing(job_.folder));
  if (InsideFolder(job_.target_path, job_.folder)) {
    return End(Outcome::kRefused, Reason::kSameFile, text::TargetInsideFolder(job_.target_path));
  }
  const bool replace = job_.replace_target.value_or(PathExists(job_.target_path));
  if (!Replaceable(job_.target_path) || (!replace && PathExists(job_.target_path))) {
    return End(Outcome::kRefused, Reason::kTargetKept, text::PackReplaceFailed(job_.target_path));
  }

  // The walk before the run: the bar's total, and an unreadable file found
  // before anything is written.
  p_.ShowStatus(text::kSurveying);
  TreeTotals totals;
  try {
    const std::atomic<bool> go_on{true};
    totals = SurveyTree(job_.folder, TopName(job_.folder), go_on, stop_);
  } catch (const WalkError& error) {
    return End(Outcome::kFailed, Reason::kIo, text::Unreadable(error.name, NotDone(job_)));
  }
  if (Stopped()) return Cancelled();
  // Without compression the stream is larger than the data it carries.
  if ((job_.road == Road::kKeyless || (job_.road == Road::kKeyed && job_.level == 0)) &&
      totals.bytes > keyed::kMaxPayloadSize) {
    return End(Outcome::kRefused, Reason::kUnsupported, text::kPackTooLarge);
  }
  if (job_.road == Road::kKeyed) keyed_version_ = ChooseKeyedVersion(job_.info_click_count, q_);
  if (job_.road == Road::kKeyless) keyless_version_ = ChooseKeylessVersion(job_, q_);
  if (Stopped()) return Cancelled();

  StagedOutput out;
  out.SetWriteHook(job_.before_write);
  try {
    out.Open(job_.target_path, DefaultFileMode());
  } catch (const IoError&) {
    return Failed();
  }
  p_.ShowStatus(RunningText(job_));
  PackStats stats;
  try {
    stats = Stream(out, totals.Weight());
  } catch (const PackError& error) {
    out.Abandon();
    if (Stopped()) return Cancelled();
    return End(Outcome::kFailed, Reason::kIo,
               error.kind == PackError::Kind::kChanged ? text::ChangedWhilePacked(error.name, NotDone(job_))
                                                       : text::Unreadable(error.name, NotDone(job_)));
  } catch (const keyed::PayloadTooLarge&) {
    out.Abandon();
    return End(Outcome::kRefused, Reason::kUnsupported, text::kPackTooLarge);
  } catch (const keyless::PayloadTooLarge&) {
    out.Abandon();
    return End(Outcome::kRefused, Reason::kUnsupported, text::kPackTooLarge);
  } catch (...) {
    if (Stopped()) {
      out.Abandon();
      return Cancelled();
    }
    // Asked while the staging file still holds the space it took.
    RunResult failed = Failed();
    out.Abandon();
    return failed;
  }
  if (stats.stopped || Stopped()) {
    out.Abandon();
    return Cancelled();
  }
  try {
    if (!Replaceable(job_.target_path)) throw TargetExistsError(job_.target_path);
    out.Commit(replace);
  } catch (const TargetExistsError&) {
    return End(Outcome::kRefused, Reason::kTargetKept, text::PackReplaceFailed(job_.target_path));
  } catch (...) {
    return Failed();
  }
  p_.ProgressComplete();
  const std::string summary = std::string(DoneText(job_)) + text::Counts(stats.files, stats.folders, stats.links, stats.bytes);
  if (!stats.skipped.empty()) {
    q_.ReportMessage(summary + "\n" + text::SkippedWhenPacking(stats.skipped, NotDone(job_)));
  } else {
    p_.ShowStatus(summary);
  }
  return RunResult::Done({job_.target_path});
}

// A tar file read through a fixed buffer.
class FileSource : public ByteSource {
 public:
  explicit FileSource(const std::string& path) : in_(path) {}
  std::size_t Read(void* data, std::size_t n) override { return in_.Read(data, n); }
  int64_t Size() const { return in_.Size(); }

 private:
  InputFile in_;
};

}  // namespace

RunResult PackFolder(const PackJob& job, RunContext& context, keyed::RandomSource* keyed_random,
                     keyless::RandomSource* keyless_random) {
  // The age road reads its recipients' keys with libcrypto on this thread.
  const age::ThreadStateRelease release;
  keyed::SystemRandom system_keyed;
  return Packing(job, context.progress, context.prompter, context.stop, keyed_random ? *keyed_random : system_keyed,
                 keyless_random ? *keyless_random : keyless::DefaultRandom())
      .Run();
}

RunResult UnpackFolder(const UnpackJob& job, RunContext& context) {
  Progress& p = context.progress;
  Prompter& q = context.prompter;
  const StopToken& stop = context.stop;
  const auto stopped = [&] { return stop.StopRequested(); };
  auto end = [&](Outcome outcome, Reason code, const std::string& text) {
    q.ReportMessage(text);
    return RunResult::Ended(outcome, code, text);
  };
  auto cancelled = [] { return RunResult::Ended(Outcome::kCancelled, Reason::kCancelled, text::kUnpackCancelled); };
  if (!FileExists(job.source_path)) {
    return end(Outcome::kRefused, Reason::kNoSource, text::UnpackSourceMissing(job.source_path));
  }
  UnpackStats stats;
  try {
    FileSource source(job.source_path);
    p.ShowStatus(text::kUnpacking);
    p.ProgressStart(source.Size());
    UnpackControl control;
    control.stop = stop;
    int64_t shown = 0;
    control.progress = [&](int64_t consumed) {
      p.ProgressStep(consumed, consumed - shown);
      shown = consumed;
    };
    stats = UnpackTree(source, job.target_folder, control);
  } catch (const UnpackError& error) {
    if (stopped()) return cancelled();
    switch (error.kind) {
      case UnpackError::Kind::kExists:
        return end(Outcome::kRefused, Reason::kTargetKept, text::FolderExists(job.target_folder));
      case UnpackError::Kind::kUnsafe:
        return end(Outcome::kRefused, Reason::kDamaged, text::Unsafe(job.source_path, error.name));
      case UnpackError::Kind::kDamaged: return end(Outcome::kFailed, Reason::kDamaged, text::Damaged(job.source_path));
      case UnpackError::Kind::kWrite: break;
    }
    if (error.error_number == ENAMETOOLONG) {
      return end(Outcome::kFailed, Reason::kUnsupported,
                 text::UnpackFailed(job.target_folder) + text::NameTooLong(error.name));
    }
    // The tree built so far is gone by now: the write's own error tells.
    const bool full = error.error_number == ENOSPC || error.error_number == EDQUOT ||
                      LowOnSpace(FolderOf(job.target_folder));
    return end(Outcome::kFailed, full ? Reason::kNoSpace : Reason::kIo,
               text::UnpackFailed(job.target_folder) + (full ? text::kDiskFull : ""));
  } catch (...) {
    if (stopped()) return cancelled();
    return end(Outcome::kFailed, Reason::kIo, text::UnpackFailed(job.target_folder));
  }
  if (stats.stopped) return cancelled();
  std::string summary = std::string(text::kUnpackDone) + text::Counts(stats.files, stats.folders, stats.links, stats.bytes);
  // The intermediate tar file goes only when nothing of it was left out.
  if (job.remove_source_after && stats.skipped.empty() && DeleteFile(job.source_path)) {
    summary += text::TarRemoved(job.source_path);
  }
  p.ProgressComplete();
  std::string notes;
  if (!stats.skipped.empty()) notes += "\n" + text::SkippedWhenUnpacking(stats.skipped);
  if (!stats.cleared.empty()) notes += "\n" + text::SetIdCleared(stats.cleared);
  if (notes.empty()) {
    p.ShowStatus(summary);
  } else {
    q.ReportMessage(summary + notes);
  }
  return RunResult::Done({job.target_folder});
}

}  // namespace vesk::archive
