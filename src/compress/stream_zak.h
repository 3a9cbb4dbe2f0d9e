// A ".zak" made from, or read into, a stream: standard input as the source
// ("-"), or a target written into as a stream (standard output, a FIFO, a
// device: platform/stream_target.h). One pass, flat memory, no bar (a
// stream has no known size). A file target is still staged and put in
// place only when complete; a stream target gets the data as it comes, so
// a damaged or cut-short stream fails the run after part of it went out.
#pragma once

#include "compress/compress_file.h"
#include "core/run_context.h"
#include "core/run_result.h"

namespace vesk::compress {

// The job of a compression (compress_file.h): its source may be "-"
// (standard input) and its target a stream target; a decompression takes
// the same fields but the level.
using StreamJob = CompressJob;

RunResult CompressStream(const StreamJob& job, RunContext& context);
RunResult DecompressStream(const StreamJob& job, RunContext& context);

}  // namespace vesk::compress
