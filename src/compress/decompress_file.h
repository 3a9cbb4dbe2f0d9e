// Decompresses one whole zlib stream file into its target on the calling
// thread, as the last stage of a run: the stream is inflated once into a
// staging file beside the target, which is renamed into place only when the
// whole stream has been read and its check passed. The bar follows the
// source read as the last two stages of the run's plan, the check stage for
// its first half and the write stage for the rest (a run without a plan gets
// one of two stages).
#pragma once

#include <sys/types.h>

#include <string>

#include "core/run_context.h"
#include "core/run_result.h"
#include "platform/fault_hooks.h"

namespace vesk::compress {

struct DecompressJob {
  std::string source;       // the zlib stream
  std::string target;       // the decompressed file
  mode_t mode = 0600;       // its permission bits
  bool replace = false;     // whatever is at `target` may be replaced
  bool delete_source = false;  // the source is the run's own temporary file
  FaultHooks faults{};      // tests: on the source and the target
};

// The running status (texts.h) while it runs; done, the status says so (the
// decryption's own words when the source was its temporary file). A failure
// is reported as a message and leaves nothing; a stop leaves nothing and
// shows nothing. The source is deleted when `delete_source`, in every case.
RunResult DecompressFile(const DecompressJob& job, RunContext& context);

}  // namespace vesk::compress
