#include "crypto/age_files/engine.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <exception>
#include <memory>

#include "crypto/age/age.h"
#include "crypto/age/armor.h"
#include "crypto/age/secret.h"
#include "crypto/age_files/key_files.h"
#include "crypto/age_files/plugins.h"
#include "crypto/age_files/texts.h"
#include "platform/file_io.h"
#include "platform/staged_file.h"
#include "platform/stream_target.h"

namespace vesk::age_files {
namespace {

// Reads an open input file; a failure becomes the source's I/O error.
class InputSource : public age::Source {
 public:
  explicit InputSource(InputFile& in) : in_(in) {}
  long Read(uint8_t* buf, std::size_t n) override {
    try {
      return static_cast<long>(in_.Read(buf, n));
    } catch (const std::exception& e) {
      return Fail(age::Status::kIoError, e.what());
    }
  }

 private:
  InputFile& in_;
};

// Reads standard input ("-"), the bytes a look at its header kept first.
class StandardInputSource : public age::Source {
 public:
  long Read(uint8_t* buf, std::size_t n) override {
    const long got = StandardInput::Get().Read(buf, n);
    return got >= 0 ? got : Fail(age::Status::kIoError, "cannot read standard input");
  }
};

// Writes into the staging file of the output, or into a stream target; a
// failure becomes the sink's I/O error, so the library stops at once.
template <class Output>
class OutputSink : public age::Sink {
 public:
  explicit OutputSink(Output& out) : out_(out) {}
  bool Write(const uint8_t* data, std::size_t n) override {
    try {
      out_.Write(data, n);
      return true;
    } catch (const std::exception& e) {
      return Fail(age::Status::kIoError, e.what());
    }
  }

 private:
  Output& out_;
};

// How a run ends: the outcome it records, why, and the text it shows.
struct Ending {
  Outcome outcome = Outcome::kDone;
  std::string text;
  Reason code = Reason::kNone;
};

// Whether a failed write into the folder of `target` was for want of room:
// asked while the run's staging file still holds what it took.
bool DiskFullAt(const std::string& target) { return LowOnSpace(FolderOf(target)); }

// What the user sees for a decryption that did not succeed.
Ending DecryptEnding(const age::Result& r, const DecryptJob& job, int work_factor, const IdentitySet* ids = nullptr) {
  using age::Status;
  switch (r.status) {
    case Status::kOk: return {};
    case Status::kWrongPassphrase: return {Outcome::kRefused, text::WrongPassphrase(), Reason::kWrongKey};
    case Status::kPassphraseRequired: return {Outcome::kRefused, text::kPassphraseRequired, Reason::kNoKey};
    case Status::kNoMatchingIdentity:
      // A passphrase given for a file of recipients opens nothing either.
      if (job.identity_files.empty()) return {Outcome::kRefused, text::kIdentitiesRequired, Reason::kNoKey};
      return {Outcome::kRefused, text::NoMatchingIdentity(), Reason::kWrongKey};
    case Status::kWorkFactorTooHigh:
      return {Outcome::kRefused, text::WorkFactorTooHigh(work_factor, job.max_work_factor), Reason::kUnsupported};
    case Status::kUnsupportedVersion: return {Outcome::kRefused, text::kUnsupportedVersion, Reason::kUnsupported};
    case Status::kHeaderTooLarge: return {Outcome::kRefused, text::kHeaderTooLarge, Reason::kUnsupported};
    case Status::kHeaderInvalid:
    case Status::kArmorInvalid:
    case Status::kDamaged:
    case Status::kTruncated: return {Outcome::kFailed, text::Damaged(job.source_path), Reason::kDamaged};
    case Status::kCancelled: return {Outcome::kCancelled, text::kDecryptCancelled, Reason::kCancelled};
    case Status::kInternalError: return {Outcome::kFailed, text::kInternalError, Reason::kUnspecified};
    case Status::kKeyLocked:
    case Status::kBadKey: {
      // A protected key or identity file that was not opened.
      std::optional<std::string> why = ids != nullptr ? ids->FailureText(r.status) : std::nullopt;
      if (why) return {Outcome::kRefused, *why, Reason::kWrongKey};
      // Else a plugin failed.
      if (r.status == Status::kBadKey) return {Outcome::kFailed, text::PluginFailed(r.detail), Reason::kNoKey};
      break;
    }
    case Status::kIoError:
      if (DiskFullAt(job.target_path)) return {Outcome::kFailed, text::DecryptDiskFull(job.source_path), Reason::kIo};
      break;
    case Status::kInvalidArgument:
    case Status::kMixedRecipients: break;
  }
  return {Outcome::kFailed, text::DecryptFailed(job.source_path), Reason::kIo};
}

Ending EncryptEnding(const age::Result& r, const EncryptJob& job) {
  switch (r.status) {
    case age::Status::kOk: return {};
    case age::Status::kCancelled: return {Outcome::kCancelled, text::kEncryptCancelled, Reason::kCancelled};
    case age::Status::kInternalError: return {Outcome::kFailed, text::kInternalError, Reason::kUnspecified};
    case age::Status::kBadKey:  // a plugin could not wrap the file key
    case age::Status::kInvalidArgument: return {Outcome::kFailed, text::PluginFailed(r.detail), Reason::kNoKey};
    case age::Status::kMixedRecipients: return {Outcome::kRefused, text::kMixedRecipients, Reason::kMixedKeys};
    case age::Status::kIoError:
      if (DiskFullAt(job.target_path)) return {Outcome::kFailed, text::EncryptDiskFull(job.source_path), Reason::kIo};
      return {Outcome::kFailed, text::EncryptFailed(job.source_path), Reason::kIo};
    default: return {Outcome::kFailed, text::EncryptFailed(job.source_path), Reason::kIo};
  }
}

// What a run in one direction says: while it runs, when it is done, when
// it is cancelled and when it fails.
struct Words {
  const char* running;
  const char* done;
  const char* cancelled;
  std::string failed;
};

// What a run does in both directions: the output beside the target,
// the progress of the input, and the end of the run.
class Run {
 public:
  Run(RunContext& context, const std::string& source, const std::string& target, std::optional<bool> replace)
      : context_(context),
        source_(source),
        target_(target),
        replace_(replace.value_or(PathExists(target))),
        streaming_(IsStreamTarget(target)) {}

  // Ends a run that wrote nothing, as `ending` says; the caller shows its
  // text (ShowEnding).
  RunResult Refuse(const Ending& ending) {
    output_.Abandon();
    std::string said = ending.text;
    // What went out into a stream cannot be taken back: say how much.
    if (streaming_ && stream_.BytesWritten() > 0) said += text::StreamIncomplete(stream_.BytesWritten());
    return RunResult::Ended(ending.outcome, ending.code == Reason::kNone ? Reason::kUnspecified : ending.code, said);
  }

  // False when the target is the source, cannot be replaced, or has appeared
  // since the command found its name free.
  bool MayReplace() const {
    return !SameFile(source_, target_) && Replaceable(target_) && (replace_ || !PathExists(target_));
  }

  // Creates the staging file; false (reported) when the target may not be
  // replaced or the folder cannot take a file.
  std::optional<RunResult> OpenOutput(mode_t mode, const std::function<void(int64_t, std::size_t)>& hook,
                                      const char* cancelled, const std::string& failed) {
    if (streaming_) {
      // Written into as it is: nothing is staged, asked or replaced.
      try {
        stream_.SetWriteHook(hook);
        stream_.Open(target_);
        return std::nullopt;
      } catch (...) {
        return Refuse({Outcome::kFailed, failed, Reason::kIo});
      }
    }
    if (!MayReplace()) return Refuse({Outcome::kRefused, text::ReplaceFailed(target_, cancelled), Reason::kTargetKept});
    try {
      output_.SetWriteHook(hook);
      output_.Open(target_, mode);
      return std::nullopt;
    } catch (...) {
      return Refuse({Outcome::kFailed, failed, Reason::kIo});
    }
  }

  // The library's progress callback: moves the bar and turns a cleared run
  // flag into the library's stop request, seen before the next batch.
  std::function<void(uint64_t)> Progress() {
    return [this](uint64_t done) {
      const auto position = static_cast<int64_t>(done);
      if (sized_) context_.progress.ProgressStep(position, position - reported_);
      reported_ = position;
      if (context_.stop.StopRequested()) stop_ = true;
    };
  }
  const std::atomic<bool>& StopFlag() { return stop_; }

  // Commits a complete output and reports it, or ends the run with `ending`.
  RunResult Finish(Ending ending, const char* done, const char* cancelled, const std::string& failed) {
    if (ending.outcome == Outcome::kDone && context_.stop.StopRequested()) {
      ending = {Outcome::kCancelled, cancelled, Reason::kCancelled};
    }
    if (ending.outcome != Outcome::kDone) return Refuse(ending);
    if (streaming_) {
      try {
        stream_.Finish();
      } catch (...) {
        return Refuse({Outcome::kFailed, failed, Reason::kIo});
      }
      RunResult result = RunResult::Done({target_});
      result.reason = done;
      return result;
    }
    const Ending kept{Outcome::kRefused, text::ReplaceFailed(target_, cancelled), Reason::kTargetKept};
    if (!MayReplace()) return Refuse(kept);
    try {
      output_.Commit(replace_);
    } catch (const TargetExistsError&) {
      return Refuse(kept);
    } catch (...) {
      return Refuse({Outcome::kFailed, failed, Reason::kIo});
    }
    context_.progress.ProgressComplete();
    RunResult result = RunResult::Done({target_});
    result.reason = done;
    return result;
  }

  // Opens the source and the output beside the target (with the source's
  // permission bits) and sets aside room for output_size(the source's size)
  // bytes, then, unless the run was cancelled meanwhile, has `crypt` stream
  // the one into the other while the bar follows the input, and ends the
  // run as crypt says.
  RunResult Stream(const Words& words, const std::function<void(int64_t, std::size_t)>& hook,
                   const std::function<uint64_t(uint64_t)>& output_size,
                   const std::function<Ending(age::Source&, age::Sink&)>& crypt) {
    InputFile source;
    int64_t size = 0;
    const bool standard_input = IsStandardStream(source_);
    try {
      if (!standard_input) {
        source.Open(source_);
        size = source.Size();
      }
    } catch (...) {
      return Refuse({Outcome::kFailed, words.failed, Reason::kIo});
    }
    // An output is as private as its source; standard input's (a pipe is
    // 0600) no more readable than a new file.
    const mode_t mode = standard_input ? PermissionsOfOpen(0) & DefaultFileMode() : PermissionsOf(source_);
    if (auto refused = OpenOutput(mode, hook, words.cancelled, words.failed)) return *refused;
    if (context_.stop.StopRequested()) return Finish({}, words.done, words.cancelled, words.failed);

    if (!streaming_ && !standard_input) output_.Reserve(static_cast<int64_t>(output_size(static_cast<uint64_t>(size))));
    context_.progress.ShowStatus(words.running);
    sized_ = !standard_input;
    if (sized_) context_.progress.ProgressStart(size);
    InputSource file_in(source);
    StandardInputSource stdin_in;
    if (standard_input) StandardInput::Get().Release();
    age::Source& in = standard_input ? static_cast<age::Source&>(stdin_in) : file_in;
    OutputSink<StagedOutput> staged_out(output_);
    OutputSink<StreamTarget> stream_out(stream_);
    Ending ending = crypt(in, streaming_ ? static_cast<age::Sink&>(stream_out) : staged_out);
    source.Close();
    return Finish(std::move(ending), words.done, words.cancelled, words.failed);
  }

 private:
  RunContext& context_;
  const std::string& source_;
  const std::string& target_;
  bool replace_;
  bool streaming_;     // the target is written into as a stream (stream_target.h)
  bool sized_ = true;  // the input's size is known: the bar follows it
  StagedOutput output_;
  StreamTarget stream_;
  std::atomic<bool> stop_{false};
  int64_t reported_ = 0;
};

}  // namespace

std::optional<std::string> RecipientSet::Build(const EncryptJob& job, Prompter* prompter) {
  parsed_.clear();
  plugins_.clear();
  scrypt_.reset();
  list_.clear();
  why_ = Reason::kNoKey;
  std::vector<std::string> plugin_keys;
  for (const std::string& line : job.recipients) {
    if (age::PluginOfRecipient(line)) {
      plugin_keys.push_back(line);
      continue;
    }
    auto parsed = age::ParseRecipient(line);
    if (!parsed) return text::BadRecipient("“" + line + "”");
    list_.push_back(parsed.get());
    parsed_.push_back(std::move(parsed));
  }
  // One run of each plugin for all of its recipients.
  if (prompter != nullptr) ui_ = std::make_unique<PrompterPluginUi>(*prompter);
  for (auto& [name, keys] : ByPlugin(plugin_keys, false)) {
    if (FindPlugin(name).empty() || !ui_) return text::PluginMissing(age::PluginProgram(name));
    plugins_.push_back(std::make_unique<age::PluginRecipient>(name, keys, std::vector<std::string>{}, ProcessLauncher(), *ui_));
    list_.push_back(plugins_.back().get());
  }
  if (!list_.empty()) {
    if (age::CheckRecipientMix(list_) == age::RecipientMix::kPostQuantumWithClassic) {
      why_ = Reason::kMixedKeys;
      return std::string(text::kMixedRecipients);
    }
  } else if (!job.passphrase.empty()) {
    scrypt_ = std::make_unique<age::ScryptRecipient>(job.passphrase.Clone(), job.work_factor);
    list_.push_back(scrypt_.get());
  } else {
    return std::string(text::kPassphraseEmpty);
  }
  return std::nullopt;
}

RunResult EncryptFile(const EncryptJob& job, RunContext& context) {
  const age::ThreadStateRelease release;
  Run run(context, job.source_path, job.target_path, job.replace_target);

  RecipientSet recipients;
  if (const auto refusal = recipients.Build(job, &context.prompter)) {
    return run.Refuse({Outcome::kRefused, *refusal, recipients.why()});
  }

  if (!FileExists(job.source_path) && !IsStandardStream(job.source_path)) {
    return run.Refuse({Outcome::kRefused, text::EncryptSourceMissing(job.source_path), Reason::kNoSource});
  }
  // An encrypted file is as private as its source.
  const Words words{recipients.Derives() ? text::kEncryptDeriving : text::kEncryptRunning, text::kEncryptDone,
                    text::kEncryptCancelled, text::EncryptFailed(job.source_path)};
  // The binary file is its header (a few hundred bytes) and the payload.
  const auto encrypted_size = [&job](uint64_t plain) { return job.armor ? 0 : age::PayloadSize(plain); };
  return run.Stream(words, job.before_write, encrypted_size, [&](age::Source& in, age::Sink& out) {
    age::EncryptOptions options;
    options.armor = job.armor;
    options.threads = job.threads;
    options.progress = run.Progress();
    return EncryptEnding(age::Encrypt(recipients.list(), in, out, options, run.StopFlag()), job);
  });
}

RunResult DecryptFile(const DecryptJob& job, RunContext& context) {
  const age::ThreadStateRelease release;
  Run run(context, job.source_path, job.target_path, job.replace_target);

  if (!FileExists(job.source_path) && !IsStandardStream(job.source_path)) {
    return run.Refuse({Outcome::kRefused, text::DecryptSourceMissing(job.source_path), Reason::kNoSource});
  }
  if (DetectFile(job.source_path) == FileKind::kNotAge) {
    return run.Refuse({Outcome::kRefused, text::kNotAgeFile, Reason::kNotAContainer});
  }
  // The header, read without a key: a broken one needs no key to be
  // refused, and what it asks for decides which key is missing.
  const HeaderSummary header = SummarizeHeader(job.source_path);
  if (!header.status.ok()) return run.Refuse(DecryptEnding(header.status, job, 0));
  if (header.passphrase && job.passphrase.empty()) {
    return run.Refuse({Outcome::kRefused, text::kPassphraseRequired, Reason::kNoKey});
  }
  if (!header.passphrase && job.identity_files.empty() && job.plugins.empty() &&
      (!job.identities || job.identities->empty())) {
    return run.Refuse({Outcome::kRefused, text::kIdentitiesRequired, Reason::kNoKey});
  }

  // The keys: every identity of the chosen files (read now unless read
  // already), the plugins' identities, and the passphrase. Protected keys
  // ask through this run.
  std::shared_ptr<IdentitySet> set = job.identities;
  if (!set && !header.passphrase) {
    set = std::make_shared<IdentitySet>();
    if (auto error = set->Load(job.identity_files, job.max_work_factor))
      return run.Refuse({Outcome::kRefused, *error, Reason::kNoKey});
  }
  std::vector<std::string> plugin_keys;
  for (const std::string& name : job.plugins) {
    if (!age::IsPluginName(name)) return run.Refuse({Outcome::kRefused, text::BadPluginName(name), Reason::kNoKey});
    plugin_keys.push_back(age::DefaultPluginIdentity(name));
  }
  if (set) plugin_keys.insert(plugin_keys.end(), set->PluginIdentities().begin(), set->PluginIdentities().end());
  // One run of each plugin for all of its identities, after the native keys.
  PrompterPluginUi ui(context.prompter);
  std::vector<std::unique_ptr<age::PluginIdentity>> plugins;
  for (auto& [name, keys] : ByPlugin(plugin_keys, true)) {
    if (FindPlugin(name).empty()) {
      return run.Refuse({Outcome::kRefused, text::PluginMissing(age::PluginProgram(name)), Reason::kNoKey});
    }
    plugins.push_back(std::make_unique<age::PluginIdentity>(name, keys, ProcessLauncher(), ui));
  }
  struct Binding {
    std::shared_ptr<IdentitySet> set;
    ~Binding() {
      if (set) set->Bind(nullptr);
    }
  } binding{set};
  if (set) set->Bind(&context.prompter);
  std::unique_ptr<age::ScryptIdentity> scrypt;
  std::vector<const age::Identity*> identities;
  if (!job.passphrase.empty()) {
    scrypt = std::make_unique<age::ScryptIdentity>(job.passphrase.Clone(), job.max_work_factor);
    identities.push_back(scrypt.get());
  }
  if (set && !header.passphrase) {
    for (const age::Identity* id : set->list()) identities.push_back(id);
  }
  for (const auto& id : plugins) identities.push_back(id.get());

  // The plaintext is as private as the file it came from.
  const Words words{text::kDecryptRunning, text::kDecryptDone, text::kDecryptCancelled,
                    text::DecryptFailed(job.source_path)};
  // At most what the file would hold if it had no header.
  const auto decrypted_size = [&header](uint64_t sealed) { return header.armored ? 0 : age::PlaintextSize(sealed); };
  return run.Stream(words, job.before_write, decrypted_size, [&](age::Source& in, age::Sink& out) {
    age::DecryptOptions options;
    options.threads = job.threads;
    options.progress = run.Progress();
    return DecryptEnding(age::Decrypt(identities, in, out, options, run.StopFlag()), job, header.work_factor, set.get());
  });
}

std::optional<std::string> HeaderRefusal(const HeaderSummary& header, const std::string& source) {
  if (header.status.ok()) return std::nullopt;
  DecryptJob job;
  job.source_path = source;
  return DecryptEnding(header.status, job, 0).text;
}

FileKind DetectFile(const std::string& path) {
  // Standard input is looked at and read again by the run; a file is read
  // from its start.
  const bool standard = IsStandardStream(path);
  struct Looked {
    StandardInput* input = nullptr;
    ~Looked() {
      if (input) input->Rewind();
    }
  } looked;
  try {
    std::unique_ptr<InputFile> file;
    if (standard) {
      looked.input = &StandardInput::Get();
      looked.input->Look();
    } else {
      file = std::make_unique<InputFile>(path);
    }
    char head[256];
    const auto read = [&](char* to, std::size_t size) -> std::size_t {
      if (file) return file->Read(to, size);
      std::size_t got = 0;
      long step = 1;
      while (got < size && (step = looked.input->Read(to + got, size - got)) > 0) got += static_cast<std::size_t>(step);
      return got;
    };
    std::size_t n = read(head, sizeof head);
    const std::string_view bytes(head, n);
    constexpr std::string_view kVersionPrefix = "age-encryption.org/";
    if (bytes.substr(0, kVersionPrefix.size()) == kVersionPrefix) return FileKind::kBinary;
    // Armor may follow any amount of whitespace, as the armor reader allows.
    std::size_t at = 0;
    for (;;) {
      while (at < n && std::isspace(static_cast<unsigned char>(head[at]))) ++at;
      if (at < n || n == 0) break;
      n = read(head, sizeof head);
      at = 0;
    }
    // The start of the armor line, read on when it straddles two reads.
    std::string start(head + at, n - at);
    while (start.size() < age::kArmorBegin.size()) {
      const std::size_t more = read(head, sizeof head);
      if (more == 0) break;
      start.append(head, more);
    }
    if (std::string_view(start).substr(0, age::kArmorBegin.size()) == age::kArmorBegin) return FileKind::kArmored;
  } catch (...) {
  }
  return FileKind::kNotAge;
}

age::Result InspectFile(const std::string& path, age::FileInfo& info) {
  try {
    if (path == "-") {
      age::FdSource in(STDIN_FILENO);
      return age::Inspect(in, info, /*measure=*/true);
    }
    InputFile in(path);
    InputSource source(in);
    // A regular file's size gives the payload's at once; a FIFO or a
    // device is read to its end.
    struct stat st {};
    const bool regular = ::fstat(in.Descriptor(), &st) == 0 && S_ISREG(st.st_mode);
    return age::Inspect(source, info, /*measure=*/true,
                        regular ? std::optional<uint64_t>(static_cast<uint64_t>(st.st_size)) : std::nullopt);
  } catch (const std::exception& e) {
    return age::Result::Fail(age::Status::kIoError, e.what());
  }
}

HeaderSummary SummarizeHeader(const std::string& path) {
  HeaderSummary summary;
  try {
    age::FileInfo info;
    if (IsStandardStream(path)) {
      StandardInput::Get().Look();
      StandardInputSource source;
      summary.status = age::Inspect(source, info);
      StandardInput::Get().Rewind();
    } else {
      InputFile in(path);
      InputSource source(in);
      summary.status = age::Inspect(source, info);
    }
    summary.passphrase = info.passphrase;
    summary.armored = info.armored;
    summary.work_factor = info.scrypt_log_n;
  } catch (const std::exception& e) {
    summary.status = age::Result::Fail(age::Status::kIoError, e.what());
  }
  return summary;
}

}  // namespace vesk::age_files
