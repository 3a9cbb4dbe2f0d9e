// Compresses one file into one zlib stream (a ".zak") on the calling thread:
// written to a private staging file beside the target on every processor,
// and linked into place only when complete; or, without a target, into a
// temporary file of the run that has no name (StagedOutput::Keep), whose path
// the result names and the caller deletes.
#pragma once

#include <sys/types.h>

#include <string>

#include "core/run_context.h"
#include "core/run_result.h"
#include "platform/fault_hooks.h"

namespace vesk::compress {

struct CompressJob {
  std::string source;     // the file to compress
  std::string target;     // the ".zak" written; empty: a temporary file
  int level = 2;          // 1 fast, 2 normal, 3 most
  mode_t mode = 0600;     // the target's permission bits
  bool replace = false;   // whatever is at `target` may be replaced
  FaultHooks faults{};    // tests: on the source and the target
};

// zlib's level for the compression levels 1 fast, 2 normal, 3 most.
int ZlibLevelFor(int level);

// Its running status (texts.h) while it runs, the same with the done suffix when done;
// the bar moves after every chunk. A failure is reported as a message and
// leaves nothing; a stop (the token is looked at before every chunk) leaves
// nothing and shows nothing.
RunResult CompressFile(const CompressJob& job, RunContext& context);

}  // namespace vesk::compress
