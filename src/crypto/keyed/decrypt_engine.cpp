#include "crypto/keyed/decrypt_engine.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "crypto/keyed/cipher.h"
#include "crypto/keyed/container.h"
#include "crypto/keyed/header_reader.h"
#include "crypto/keyed/texts.h"
#include "platform/control_characters.h"
#include "platform/file_io.h"
#include "platform/gbk.h"
#include "platform/paths.h"
#include "platform/staged_file.h"
#include "platform/write_behind.h"

namespace vesk::keyed {
namespace {

// A yes to the replace question, for this file or for all of them.
bool Agreed(ReplaceAnswer answer) { return answer == ReplaceAnswer::kYes || answer == ReplaceAnswer::kYesToAll; }

constexpr std::size_t kChunk = 1 << 20;  // a multiple of 4
constexpr int64_t kFourGiB = int64_t{1} << 32;
constexpr int64_t kSecondOffset = kLeadInSize;
constexpr std::size_t kMaxNativeName = 255;

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Cuts GBK bytes to at most `keep` bytes without splitting a character.
std::string CutGbk(const std::string& gbk, std::size_t keep) {
  std::size_t i = 0;
  while (i < gbk.size()) {
    std::size_t n = (static_cast<unsigned char>(gbk[i]) >= 0x81 && i + 1 < gbk.size()) ? 2 : 1;
    if (i + n > keep) break;
    i += n;
  }
  return gbk.substr(0, i);
}

// Drops whole UTF-8 characters from the end of `name` until `name` + `ext`
// fits the file system's limit.
std::string FitNative(std::string name, const std::string& ext) {
  while (!name.empty() && name.size() + ext.size() > kMaxNativeName) {
    std::size_t i = name.size() - 1;
    while (i > 0 && (static_cast<unsigned char>(name[i]) & 0xC0) == 0x80) --i;
    name.erase(i);
  }
  return name;
}

// Thrown when a part of the header could not be read: the run fails as
// after any read error.
struct UnreadableHeader {};

// One run of the container reader over an open file.
class Decryptor {
 public:
  Decryptor(const DecryptJob& job, RunContext& context, DecryptHost& host, InputFile& in, int64_t start, int64_t w,
            int64_t cl)
      : job_(job), context_(context), host_(host), in_(in), b_(start), w_(w), cl_(cl) {}

  RunResult Container();

 private:
  bool Stopped() const {
    return context_.stop.StopRequested();
  }
  bool RetryWindow() const { return HeaderMayBeAtEither(w_) && !retried_; }
  RunResult Retry() {
    retried_ = true;
    return Attempt(b_ + kSecondOffset);
  }
  static RunResult Refuse(const std::string& text, Reason code) {
    return RunResult::Ended(Outcome::kRefused, code, text);
  }
  RunResult ReportOrRetry(const std::string& text, Reason code) {
    if (RetryWindow()) {
      pending_error_ = text;
      pending_code_ = code;
      return Retry();
    }
    return Refuse(text, code);
  }
  static RunResult Cancelled(Reason code = Reason::kCancelled) {
    return RunResult::Ended(Outcome::kCancelled, code, text::kDecryptCancelled);
  }
  // A failure while reading or writing; a full disk where the run wrote
  // says so as its reason.
  static RunResult Failed(const std::string& written_in) {
    const Reason code = LowOnSpace(written_in) ? Reason::kNoSpace : Reason::kIo;
    return RunResult::Ended(Outcome::kFailed, code, text::kDecryptFailed);
  }
  // The run goes on in the decompression the host started.
  static RunResult HandOver() { return RunResult{}; }
  // A damage warning: the run goes on, and completes as after damage.
  void Warn(const std::string& text) {
    damaged_ = true;
    host_.SourceDamaged();
    context_.prompter.ReportMessage(text);
  }
  RunResult Attempt(int64_t at);
  RunResult NoMarker();
  bool OutputReplaceable(const std::string& output) const {
    return !SameFile(output, job_.source_path) && Replaceable(output);
  }
  static RunResult ReplaceRefused(const std::string& output) {
    return Refuse(text::DecryptReplaceFailed(output), Reason::kTargetKept);
  }
  // The decrypted file is as private as its container; in self-decrypt mode
  // the container is a program, whose execute bits the file does not take.
  mode_t OutputMode() const {
    const mode_t mode = PermissionsOf(job_.source_path);
    return job_.self_decrypt ? (mode & 0666) : mode;
  }
  void Decipher(StagedOutput& out, int64_t size, uint8_t version, int64_t e, int64_t g, std::size_t l,
                const std::vector<uint8_t>& key_stream, uint8_t first_key_byte);

  const DecryptJob& job_;
  RunContext& context_;
  DecryptHost& host_;
  InputFile& in_;
  const int64_t b_, w_, cl_;
  bool retried_ = false;
  bool damaged_ = false;
  std::string pending_error_;
  Reason pending_code_ = Reason::kUnspecified;
};

RunResult Decryptor::Container() {
  try {
    return Attempt(in_.Position());
  } catch (...) {
    if (Stopped()) return Cancelled();
    return RunResult::Ended(Outcome::kFailed, Reason::kNoSource, text::DecryptSourceFailed(job_.source_path));
  }
}

RunResult Decryptor::Attempt(int64_t at) {
  const std::string key = host_.DecryptionKey();
  const HeaderRead header = ReadHeaderAt(in_, at);
  const FixedBlocks& f = header.fields;
  const uint8_t m1 = f.m1, m3 = f.m3;
  if (Stopped()) return Cancelled();
  if (!header.HasMarker()) return NoMarker();
  // Only a container needs the key; a file without the marker is
  // decompressed instead.
  if (key.empty()) return ReportOrRetry(text::kDecryptEmptyKey, Reason::kNoKey);

  Prompter& ask = context_.prompter;
  Progress& progress = context_.progress;
  const uint8_t v = f.version;
  if (v > 35) {
    if (!ask.AskYesNo(text::kNewerVersionQuestion, text::kNewerVersionCaption)) return Cancelled(Reason::kUnsupported);
  }
  if (v <= 12 && job_.info_click_count <= 7) return Refuse(text::kOldAlgorithmRefused, Reason::kUnsupported);
  const uint8_t r1 = f.r1, r2 = f.r2, r3 = f.r3;

  // A part of the header that could not be read fails the run where the
  // reading of that part would have.
  if (header.Unreadable(HeaderPart::kSizeField)) throw UnreadableHeader{};
  int64_t size = f.payload_size;
  if (size < 1) Warn(text::kStoredSizeBelowOneByte);
  if (size > kFourGiB) Warn(text::kStoredSizeAboveFourGiB);

  if (header.Unreadable(HeaderPart::kExtensionLength)) throw UnreadableHeader{};
  const int64_t e = static_cast<int64_t>(header.extension_length);
  if (header.extension_length_damaged) Warn(text::kExtensionLengthDamaged);
  if (Stopped()) return Cancelled();

  std::string ext;
  if (e > 0) {
    if (header.Unreadable(HeaderPart::kExtension)) throw UnreadableHeader{};
    ext = header.extension;
    if (Stopped()) return Cancelled();
    // A stored extension is appended to a path: one that could name another
    // folder is as damaged as one without its dot.
    if (!header.ExtensionUsable()) {
      Warn(text::kDamagedExtension);
      ext.clear();
    }
  }

  const uint8_t z = f.pre_zip_level;
  if (z > 3) Warn(text::kCompressionRateDamaged);
  const int n = f.key_length;
  if (Stopped()) return Cancelled();
  if (n < 1 || n > 2056) return ReportOrRetry(text::kKeyLengthDamaged, Reason::kDamaged);
  if (key.size() % 256 != static_cast<std::size_t>(n) % 256) return ReportOrRetry(text::kKeyMismatch, Reason::kWrongKey);

  const int64_t g = v >= 13 ? (r2 & 0xFC) : r2;
  if (size > 1023) in_.Seek(b_ + 281 + e + g);
  const std::size_t l = static_cast<std::size_t>(std::max(n, 12));

  int64_t total = cl_ - (21 + e + static_cast<int64_t>(l) + 16);
  if (total < 1) {
    total = 0;
    Warn(text::kCheckedSizeBelowOneByte);
  }
  if (total > kFourGiB) {
    total = kFourGiB;
    Warn(text::kCheckedSizeAboveFourGiB);
  }
  if (size != total) Warn(text::kStoredSizeMismatch);
  if (size > total || size < 1) size = total;

  std::vector<uint8_t> block(l);
  in_.ReadExact(block.data(), l);
  // The padded key the writer stored, its filler bytes included.
  const std::vector<uint8_t> padded = DecodeKeyCheck(block, r2, m1, m3, v);
  if (Stopped()) return Cancelled();

  // The typed key matches when it has the stored length and equals the
  // stored key byte for byte. (Agreeing in length only modulo 256 would let
  // a prefix of a long key through, and would accept keys that differ after
  // the prefix.)
  const bool matches = key.size() == static_cast<std::size_t>(n) &&
                       std::equal(key.begin(), key.end(), padded.begin(),
                                  [](char typed, uint8_t stored) { return static_cast<uint8_t>(typed) == stored; });
  if (Stopped()) return Cancelled();
  if (!matches) return ReportOrRetry(text::kKeyMismatch, Reason::kWrongKey);
  if (Stopped()) return Cancelled();

  const std::string output = OutputPathFor(job_.target_path, ext);
  const bool existed = PathExists(output);
  if (existed && !Agreed(ask.AskReplace(text::ReplaceQuestion(output), text::kReplaceCaption))) {
    return Cancelled(Reason::kTargetKept);
  }
  if (Stopped()) return Cancelled();

  host_.OutputChosen(output);
  progress.ShowStatus(text::kDecryptStarting);
  host_.SetHint(Hint::Output, text::DecryptOutputHint(output));
  host_.SetHint(Hint::Source, job_.self_decrypt ? text::SelfDecryptSourceHint(job_.payload_name)
                                                    : text::DecryptSourceHint(job_.source_path));
  // The container itself may not be replaced (by its name or through a
  // link): not while it is being read, nor by the decompression that follows.
  // Nor may an output that appeared after the name was found free.
  if (!OutputReplaceable(output) || (!existed && PathExists(output))) return ReplaceRefused(output);

  // The deciphered payload goes to a staging file beside the output, or,
  // when it is still compressed, to a temporary file of this run's own (a
  // unique name, never one derived from the output) for the decompression.
  const bool compressed = z != 0;
  const std::string written_in = compressed ? TempFolderPath() : FolderOf(output);
  StagedOutput out;
  out.SetWriteHook(job_.faults.before_write);
  bool failed = false;
  try {
    if (compressed) {
      out.OpenTemporary(TempFolderPath(), "vesk-", ".zak");
    } else {
      out.Open(output, OutputMode());
    }
    out.Reserve(size);
    const std::vector<uint8_t> ks = BuildKeyStream(padded, r1, r2, r3);
    if (Stopped()) return Cancelled();  // `out` deletes its file
    if (compressed) host_.DecompressionFollows(size);
    progress.ProgressStart(size);
    if (Stopped()) return Cancelled();
    progress.ShowStatus(text::kDecryptRunning);
    Decipher(out, size, v, e, g, l, ks, static_cast<uint8_t>(key[0]));
  } catch (...) {
    failed = true;
  }
  // A cancel ends as a cancel even when a write failed meanwhile: the
  // canceller has restored the command and said so. A failure (a full disk,
  // a missing temporary folder, a read error) is an error of this run,
  // whatever the container holds.
  if (failed || Stopped()) {
    out.Abandon();
    return Stopped() ? Cancelled() : Failed(written_in);
  }

  if (compressed) {
    std::string working;
    try {
      working = out.Keep();
    } catch (...) {
      return Failed(written_in);
    }
    if (!host_.StartDecompression(working, output, true)) {
      DeleteFile(working);
      return RunResult::Ended(Outcome::kFailed, Reason::kIo, text::DecompressSourceFailed(job_.source_path));
    }
    return HandOver();
  }
  if (!OutputReplaceable(output)) {
    out.Abandon();
    return ReplaceRefused(output);
  }
  try {
    out.Commit(existed);
  } catch (const TargetExistsError&) {
    return ReplaceRefused(output);
  } catch (...) {
    return Failed(written_in);
  }
  RunResult done = RunResult::Done({output}, damaged_);
  done.reason = text::kDecryptDone.str();
  return done;
}

void Decryptor::Decipher(StagedOutput& out, int64_t size, uint8_t version, int64_t e, int64_t g, std::size_t l,
                         const std::vector<uint8_t>& key_stream, uint8_t first_key_byte) {
  const bool bytes = version <= 12;
  const int64_t unit = bytes ? 1 : 4;
  PayloadCipher cipher(CipherDirection::kDecrypt, key_stream, version, first_key_byte);

  // The ciphertext as runs of the file: a container of more than 1023 bytes
  // holds its header after payload byte 259 and its key-check block at g.
  struct Run {
    int64_t offset, length;
  };
  std::vector<Run> runs;
  if (size > 1023) {
    const int64_t after_header = b_ + 281 + e;
    runs = {{b_, 260}, {after_header, g}, {after_header + g + static_cast<int64_t>(l), size - 260 - g}};
  } else {
    runs = {{in_.Position(), size}};
  }
  runs.erase(std::remove_if(runs.begin(), runs.end(), [](const Run& run) { return run.length <= 0; }), runs.end());

  const int64_t body = bytes ? size : size - size % 4;  // payload bytes deciphered unit by unit
  int64_t done = 0;
  // Buffers no larger than the payload: a tiny file pays no megabytes of page faults.
  const auto buffer_size = static_cast<std::size_t>(std::clamp<int64_t>(body, 1, kChunk));
  WriteBehind behind([&out](const uint8_t* data, std::size_t n) { out.Write(data, n); }, buffer_size);
  for (std::size_t ri = 0; ri < runs.size() && done < body; ++ri) {
    const Run& run = runs[ri];
    const int64_t run_end = run.offset + run.length;
    // Where the position stands after the run's last unit: the next run's
    // start when the reader skips a block there.
    const int64_t after_last = ri + 1 < runs.size() ? runs[ri + 1].offset : run_end;
    in_.Seek(run.offset);
    int64_t pos = run.offset;
    const int64_t units_end = std::min(run_end, run.offset + (body - done));
    while (pos < units_end) {
      const std::size_t n = static_cast<std::size_t>(std::min<int64_t>(kChunk, units_end - pos));
      uint8_t* buffer = behind.Next();
      in_.ReadExact(buffer, n);
      cipher.Transform(buffer, buffer, n);
      behind.Commit(n);
      if (Stopped()) return;  // the caller abandons the output
      const int64_t units = static_cast<int64_t>(n) / unit;
      const bool last = pos + static_cast<int64_t>(n) == run_end && after_last != run_end;
      if (last) {
        context_.progress.ProgressSteps(pos + unit, unit, units - 1);
        context_.progress.ProgressStep(after_last, unit);
      } else {
        context_.progress.ProgressSteps(pos + unit, unit, units);
      }
      pos += static_cast<int64_t>(n);
      done += static_cast<int64_t>(n);
    }
  }
  behind.Flush();
  if (!bytes && size % 4 != 0) {
    uint8_t tail_in[4], tail_out[4];
    const std::size_t t = static_cast<std::size_t>(size % 4);
    in_.ReadExact(tail_in, t);
    cipher.TransformTail(tail_in, tail_out, t);
    out.Write(tail_out, t);
  }
}

RunResult Decryptor::NoMarker() {
  if (RetryWindow()) return Retry();
  if (!pending_error_.empty() && retried_) return Refuse(pending_error_, pending_code_);
  if (job_.self_decrypt) return Refuse(text::kMarkerMismatch, Reason::kDamaged);
  const std::string output = job_.target_path;
  if (Lower(job_.original_ext) != ".zak") context_.prompter.ReportMessage(text::kTryDecompression);
  if (PathExists(output) && !Agreed(context_.prompter.AskReplace(text::ReplaceQuestion(output), text::kReplaceCaption))) {
    return Cancelled(Reason::kTargetKept);
  }
  if (Stopped()) return Cancelled();
  if (!OutputReplaceable(output)) return ReplaceRefused(output);
  host_.OutputChosen(output);
  host_.SetHint(Hint::Output, text::DecompressOutputHint(output));
  host_.SetHint(Hint::Source, text::DecompressSourceHint(job_.source_path));
  if (!host_.StartDecompression(job_.source_path, output, false)) {
    return RunResult::Ended(Outcome::kFailed, Reason::kIo, text::DecompressSourceFailed(job_.source_path));
  }
  return HandOver();
}

RunResult RunEmbedded(const DecryptJob& job, RunContext& context, DecryptHost& host) {
  try {
    InputFile in(job.source_path);
    in.SetReadHook(job.faults.before_read);
    const int64_t start = job.container_start;
    const int64_t w = job.payload_size;
    in.Seek(start + FirstHeaderOffset(w));
    return Decryptor(job, context, host, in, start, w, in.Size() - start).Container();
  } catch (...) {
    // Nothing to say of a program file that cannot be read: a beep.
    return RunResult::Ended(Outcome::kFailed, Reason::kNoSource);
  }
}

}  // namespace

std::string OutputPathFor(const std::string& target_path, const std::string& ext_gbk) {
  const std::string folder = ExtractFilePath(target_path);
  const std::string name = ExtractFileName(target_path);
  const std::string name_gbk = Utf8ToGbk(name);
  // The extension comes from inside the container: a line break, ESC or BEL
  // in it would make a file name that splits or drives a terminal.
  const std::string ext = ReplaceControlCharacters(GbkToUtf8(ext_gbk));
  std::string kept = name;
  if (name_gbk.size() + ext_gbk.size() > 215) {
    const int64_t keep = 213 - static_cast<int64_t>(ext_gbk.size());
    kept = keep <= 0 ? std::string() : GbkToUtf8(CutGbk(name_gbk, static_cast<std::size_t>(keep)));
  }
  return folder + FitNative(kept, ext) + ext;
}

RunResult DecryptFile(const DecryptJob& job, RunContext& context, DecryptHost& host) {
  if (!FileExists(job.source_path)) {
    return RunResult::Ended(Outcome::kRefused, Reason::kNoSource, text::DecryptSourceMissing(job.source_path));
  }
  try {
    InputFile in(job.source_path);
    in.SetReadHook(job.faults.before_read);
    const int64_t f = in.Size();
    if (f < 1) return RunResult::Ended(Outcome::kRefused, Reason::kNoSource, text::kDecryptEmpty);
    if (f > kMaxContainerSize) return RunResult::Ended(Outcome::kRefused, Reason::kUnsupported, text::kDecryptTooLarge);
    in.Seek(FirstHeaderOffset(f));
    return Decryptor(job, context, host, in, 0, f, f).Container();
  } catch (...) {
    // A file that cannot be opened or positioned.
    return RunResult::Ended(Outcome::kFailed, Reason::kNoSource, text::DecryptSourceFailed(job.source_path));
  }
}

RunResult DecryptEmbedded(const DecryptJob& job, RunContext& context, DecryptHost& host) {
  // Notes a damage warning made before a hand-over.
  class NotingHost final : public DecryptHost {
   public:
    explicit NotingHost(DecryptHost& host) : host_(host) {}
    std::string DecryptionKey() override { return host_.DecryptionKey(); }
    void SetHint(Hint h, const std::string& text) override { host_.SetHint(h, text); }
    void OutputChosen(const std::string& path) override { host_.OutputChosen(path); }
    bool StartDecompression(const std::string& source, const std::string& dest, bool delete_zak_after) override {
      return host_.StartDecompression(source, dest, delete_zak_after);
    }
    void DecompressionFollows(int64_t compressed) override { host_.DecompressionFollows(compressed); }
    void SourceDamaged() override {
      damaged = true;
      host_.SourceDamaged();
    }
    bool damaged = false;

   private:
    DecryptHost& host_;
  };
  NotingHost noting(host);
  RunResult result = RunEmbedded(job, context, noting);
  if (HandedOver(result)) {
    // The decompression has shown its own ending.
    if (std::optional<RunResult> ended = host.DecompressionResult()) {
      result = std::move(*ended);
      if (result.outcome == Outcome::kDone && noting.damaged) result.outcome = Outcome::kDoneAfterDamage;
    } else if (context.stop.StopRequested()) {
      result = RunResult::Ended(Outcome::kCancelled, Reason::kCancelled);
    } else {
      result = RunResult::Ended(Outcome::kFailed, Reason::kUnspecified);
    }
    return result;
  }
  // A stopped run was ended by whoever stopped it; a program file that
  // cannot be read has nothing to say.
  if (!result.Completed() && context.stop.StopRequested()) {
    return RunResult::Ended(Outcome::kCancelled, Reason::kCancelled);
  }
  if (!(result.outcome == Outcome::kFailed && result.code == Reason::kNoSource)) {
    ShowEnding(result, context.progress, context.prompter);
  }
  return result;
}

}  // namespace vesk::keyed
