// Writing self-decrypting executables and taking them apart: the copy engines
// of the create and separate commands, the test a container must pass to be
// wrapped, and the name that goes into the payload header.
//
// Every output is written under a staging name beside its target and renamed
// into place only when it is complete, so a cancel or a failure leaves no
// partial file and whatever was at the target before stays as it was.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/run_context.h"
#include "core/run_result.h"
#include "platform/fault_hooks.h"
#include "platform/file_io.h"
#include "selfextract/texts.h"

namespace vesk::selfextract {

// The container is copied in chunks of this many bytes, one progress step per
// chunk; the kernel is asked for a run of kChunksPerRun chunks at a time and
// the run flag is looked at before each run.
inline constexpr std::size_t kCopyChunk = 65535;
inline constexpr std::size_t kChunksPerRun = 128;
// The program part's file name and the name of a payload stored without one,
// as the commands know them.
using text::kProgramPartName;
using text::kSelfDecryptingExt;
using text::kUnnamedPayload;

// The small program that is the program part of every new self-decrypting
// file: it carries only what reading its own payload needs, so that the file
// starts on any Linux desktop. It is installed in the same folder as the
// programs that make such files.
inline constexpr char kSfxProgramName[] = "vesk-sfx";
// Its path in the folder of the running program. Throws IoError when the
// running program's path is unknown.
std::string SfxProgramBesideRunningProgram();

// True when the container of `length` bytes starting at `base` in `in`
// carries the keyed-container marker where its header must be: at 0 for a
// container shorter than 3,500 bytes, at 260 otherwise, and for 1,033 to
// 3,499 bytes also at 260 when 0 does not hold it. Throws IoError.
bool CarriesKeyedMarker(InputFile& in, int64_t base, int64_t length);

// The GBK bytes the name field holds for the file name `utf8_name`: at most
// 250 bytes. A longer name is cut at a character boundary; its extension is
// kept whole when it fits in 249 bytes, so that the stem keeps a byte.
std::string FitPayloadName(const std::string& utf8_name);

// A payload name read from a header, made safe to propose as a file name in
// a folder: only its last path component, each control character replaced
// by "_", a default name (texts.h) when nothing usable is left.
std::string SafePayloadName(const std::string& utf8_name);

// A payload name read from a header as messages show it: control characters
// written out as escapes, so that the name cannot drive a terminal or break
// a line.
std::string ShownPayloadName(const std::string& utf8_name);

struct CreateJob {
  std::string program_path;   // the program whose first image_size bytes are copied
  int64_t image_size = 0;
  std::string target_path;    // the executable to write
  bool replace = false;       // the target may be replaced (the user agreed)
  std::string stored_name;    // UTF-8 file name of the container (no folder)
  int64_t container_size = 0; // as measured by the command
  FaultHooks faults{};        // tests: on the container read and the executable (fault_hooks.h)
};

// The worker of the create command: program image, payload header, then the
// container from `container` in 65,535-byte chunks, looking at the stop
// token before each run of them. The executable gets the container's
// permission bits with execute wherever read is set. Shows its done text
// when done and reports its failure text on a failure (texts.h); a stopped
// run shows nothing (the front end says it was
// cancelled). Nothing of a run that did not complete is left.
RunResult CreateSelfDecrypting(const CreateJob& job, InputFile& container, RunContext& context);

struct SeparateJob {
  int64_t payload_offset = 0;
  int64_t payload_size = 0;   // exactly this many bytes are copied
  std::string target_path;    // the ".jmz"
  bool replace = false;
  std::string program_part_path;  // written before the copy; named in the result
  FaultHooks faults{};            // tests: on the payload read and the ".jmz" (fault_hooks.h)
  bool replace_part = false;      // the program part may replace an existing file
};

// The separate command's outputs for the name the user chose: the ".jmz"
// (`chosen` with its extension made ".jmz") and the program part beside it.
// `may_replace` decides (asking, or from a policy) before either replaces an
// existing file. The job is returned whole; `go` is false, and
// `ended` says why, when a replacement was declined (the status says the
// command was cancelled) or an existing file cannot be replaced (a folder,
// the file being read: reported). The offsets are those of `own_path`,
// whose image is `image_size` bytes long.
struct SeparatePlan {
  SeparateJob job;
  bool go = false;
  RunResult ended;
};
SeparatePlan PlanSeparate(const std::string& own_path, int64_t image_size, int64_t payload_size,
                          const std::string& chosen, RunContext& context,
                          const std::function<bool(const std::string& path)>& may_replace);

// The first step of a planned separate: opens `own_path` into `program` and
// writes the program part complete, before the payload is copied. Throws
// IoError; then no program part was written.
void BeginSeparate(const SeparateJob& job, const std::string& own_path, int64_t image_size, InputFile& program);

// The worker of the separate command: copies the payload of `program` into
// the ".jmz", looking at the stop token before each run of chunks. The
// ".jmz" gets the permission bits of `program` without execute. Shows its
// done text when done and reports its failure text on a failure (texts.h);
// a stopped run shows nothing.
RunResult SeparatePayload(const SeparateJob& job, InputFile& program, RunContext& context);

// Writes the first `image_size` bytes of `program` as the executable file
// `path` (the permission bits of `program`, with execute wherever read is
// set), replacing what is there only when `replace`. Throws IoError; then
// nothing was written.
void WriteProgramPart(InputFile& program, int64_t image_size, const std::string& path, bool replace);

}  // namespace vesk::selfextract
