// A ".zak" made from, or read into, a stream: standard input as the source
// ("-"), or a target written into as a stream (standard output, a FIFO, a
// device: platform/stream_target.h). One pass, flat memory, no bar (a
// stream has no known size). A file target is still staged and put in
// place only when complete; a stream target gets the data as it comes, so
// a damaged or cut-short stream fails the run after part of it went out.
#pragma once

#include <sys/types.h>

#include <string>

#include "core/run_context.h"
#include "core/run_result.h"
#include "platform/fault_hooks.h"

namespace vesk::compress {

struct StreamJob {
  std::string source;    // a file, or "-": standard input
  std::string target;    // a stream target, or a file (staged)
  int level = 2;         // compressing: 1 fast, 2 normal, 3 most
  mode_t mode = 0600;    // a file target's permission bits
  bool replace = false;  // a file at a file target may be replaced
  FaultHooks faults{};   // tests: on the target
};

RunResult CompressStream(const StreamJob& job, RunContext& context);
RunResult DecompressStream(const StreamJob& job, RunContext& context);

}  // namespace vesk::compress
