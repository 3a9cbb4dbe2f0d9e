#include "selfextract/sfx_engine.h"

#include <algorithm>
#include <utility>

#include "crypto/keyed/header_reader.h"
#include "platform/control_characters.h"
#include "platform/gbk.h"
#include "platform/paths.h"
#include "platform/staged_file.h"
#include "selfextract/elf_image.h"
#include "selfextract/layout.h"
#include "selfextract/texts.h"

namespace vesk::selfextract {
namespace {

// Cuts GBK bytes to at most `keep` bytes without splitting a character.
std::string CutGbk(const std::string& gbk, std::size_t keep) {
  std::size_t i = 0;
  while (i < gbk.size()) {
    const std::size_t n = static_cast<unsigned char>(gbk[i]) >= 0x81 && i + 1 < gbk.size() ? 2 : 1;
    if (i + n > keep) break;
    i += n;
  }
  return gbk.substr(0, i);
}

// Copies `size` bytes from the current position of `in`, one progress step
// per chunk, until a stop is requested. A run of chunks is copied at once
// (far fewer system calls than a call per chunk); a stop takes effect before
// the next run, a few milliseconds away. False when the stop ended it.
bool CopyChunks(InputFile& in, StagedOutput& out, int64_t size, const StopToken& stop, Progress& bar) {
  constexpr int64_t kChunk = static_cast<int64_t>(kCopyChunk);
  int64_t done = 0;
  while (done < size) {
    if (stop.StopRequested()) return false;
    const int64_t n = std::min<int64_t>(size - done, kChunk * static_cast<int64_t>(kChunksPerRun));
    out.CopyFrom(in, static_cast<std::size_t>(n));
    const int64_t whole = n / kChunk;
    bar.ProgressSteps(done + kChunk, kChunk, whole);
    if (n % kChunk != 0) bar.ProgressStep(done + n, n % kChunk);
    done += n;
  }
  return !stop.StopRequested();
}

}  // namespace

std::string SfxProgramBesideRunningProgram() { return ExtractFilePath(RunningProgramPath()) + kSfxProgramName; }

SeparatePlan PlanSeparate(const std::string& own_path, int64_t image_size, int64_t payload_size,
                          const std::string& chosen, RunContext& context,
                          const std::function<bool(const std::string& path)>& may_replace) {
  SeparatePlan plan;
  SeparateJob& job = plan.job;
  job.payload_offset = PayloadOffset(image_size);
  job.payload_size = payload_size;
  job.program_part_path = ExtractFilePath(chosen) + kProgramPartName;
  job.target_path = ChangeFileExt(chosen, ".jmz");
  const auto declined = [&](const std::string& path) {
    if (may_replace(path)) return false;
    context.progress.ShowStatus(text::kSeparateCancelled);
    plan.ended = RunResult::Ended(Outcome::kRefused, Reason::kTargetKept, text::kSeparateCancelled);
    return true;
  };
  job.replace_part = PathExists(job.program_part_path);
  if (job.replace_part && declined(job.program_part_path)) return plan;
  job.replace = PathExists(job.target_path);
  if (job.replace && declined(job.target_path)) return plan;
  // A completed output cannot be renamed over a folder, and neither output
  // may be the file being taken apart.
  for (const auto& [path, exists] : {std::pair{job.program_part_path, job.replace_part}, std::pair{job.target_path, job.replace}}) {
    if (exists && (DirectoryExists(path) || SameFile(path, own_path))) {
      const std::string message = text::ReplaceFailed(path, text::kSeparateCancelled);
      context.prompter.ReportMessage(message);
      plan.ended = RunResult::Ended(Outcome::kRefused, Reason::kSameFile, message);
      return plan;
    }
  }
  plan.go = true;
  return plan;
}

void BeginSeparate(const SeparateJob& job, const std::string& own_path, int64_t image_size, InputFile& program) {
  program.Open(own_path);
  WriteProgramPart(program, image_size, job.program_part_path, job.replace_part);
}

bool CarriesKeyedMarker(InputFile& in, int64_t base, int64_t length) {
  return keyed::ReadHeader(in, base, length).HasMarker();
}

std::string FitPayloadName(const std::string& utf8_name) {
  const std::string gbk = Utf8ToGbk(utf8_name);
  const auto field = static_cast<std::size_t>(kNameFieldSize);
  if (gbk.size() <= field) return gbk;
  const std::string ext = Utf8ToGbk(ExtractFileExt(utf8_name));
  if (ext.empty() || ext.size() >= field) return CutGbk(gbk, field);
  return CutGbk(gbk.substr(0, gbk.size() - ext.size()), field - ext.size()) + ext;
}

std::string SafePayloadName(const std::string& utf8_name) {
  const std::string name = ReplaceControlCharacters(ExtractFileName(utf8_name));
  if (name.empty() || name == "." || name == "..") return kUnnamedPayload;
  return name;
}

std::string ShownPayloadName(const std::string& utf8_name) { return EscapeControlCharacters(utf8_name); }

RunResult CreateSelfDecrypting(const CreateJob& job, InputFile& container, RunContext& context) {
  const std::string error = text::CreateFailed(job.target_path);
  bool failed = false;
  bool copied = false;
  StagedOutput out;
  out.SetWriteHook(job.faults.before_write);
  if (job.faults.before_read) container.SetReadHook(job.faults.before_read);
  try {
    // As private as the container it carries, and runnable by whoever may read it.
    out.Open(job.target_path, ProgramModeFor(PermissionsOfOpen(container.Descriptor())));
    out.Reserve(job.image_size + job.container_size);
    {
      InputFile program(job.program_path);
      out.CopyFrom(program, static_cast<std::size_t>(job.image_size));
    }
    std::string name = FitPayloadName(job.stored_name);
    if (name.empty()) name = Utf8ToGbk(kUnnamedPayload);
    out.Write(EncodePayloadHeader(job.container_size, name));
    context.progress.ProgressStart(job.container_size);
    container.Seek(0);
    copied = CopyChunks(container, out, job.container_size, context.stop, context.progress);
    if (copied) out.Commit(job.replace);
  } catch (...) {
    failed = true;
  }
  container.Close();
  if (failed || !copied) out.Abandon();
  if (failed) {
    context.prompter.ReportMessage(error);
    return RunResult::Ended(Outcome::kFailed, Reason::kIo, error);
  }
  // Cancelled: the output was never committed; the front end says so.
  if (!copied) return RunResult::Ended(Outcome::kCancelled, Reason::kCancelled, text::kCreateCancelled);
  context.progress.ProgressComplete();
  context.progress.ShowStatus(text::CreateDone(job.target_path));
  return RunResult::Done({job.target_path});
}

RunResult SeparatePayload(const SeparateJob& job, InputFile& program, RunContext& context) {
  bool failed = false;
  bool copied = false;
  StagedOutput out;
  out.SetWriteHook(job.faults.before_write);
  if (job.faults.before_read) program.SetReadHook(job.faults.before_read);
  try {
    program.Seek(job.payload_offset);
    context.progress.ProgressStart(job.payload_size);
    // The container is as private as the file it came out of; it is no program.
    out.Open(job.target_path, PermissionsOfOpen(program.Descriptor()) & 0666);
    out.Reserve(job.payload_size);
    copied = CopyChunks(program, out, job.payload_size, context.stop, context.progress);
    if (copied) out.Commit(job.replace);
  } catch (...) {
    failed = true;
  }
  program.Close();
  if (failed || !copied) out.Abandon();
  if (failed) {
    context.prompter.ReportMessage(text::kSeparateFailed);
    return RunResult::Ended(Outcome::kFailed, Reason::kIo, text::kSeparateFailed);
  }
  if (!copied) return RunResult::Ended(Outcome::kCancelled, Reason::kCancelled, text::kSeparateCancelled);
  context.progress.ProgressComplete();
  context.progress.ShowStatus(text::kSeparateDone);
  return RunResult::Done({job.program_part_path, job.target_path});
}

void WriteProgramPart(InputFile& program, int64_t image_size, const std::string& path, bool replace) {
  StagedOutput out;
  out.Open(path, ProgramModeFor(PermissionsOfOpen(program.Descriptor())));
  program.Seek(0);
  out.CopyFrom(program, static_cast<std::size_t>(image_size));
  out.Commit(replace);
}

}  // namespace vesk::selfextract
