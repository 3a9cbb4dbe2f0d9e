// The whole of an input file deflated into one zlib stream, chunk by chunk:
// the compression component and the compress command write the same bytes
// through it.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/file_io.h"

namespace vesk::compress {

// Progress granularity: one step per chunk of this many source bytes.
inline constexpr int64_t kDeflateChunk = 65535;

struct DeflateSteps {
  std::function<void(int64_t total)> begin;   // once, before the first chunk
  std::function<void(int64_t done)> step;     // after every chunk
  std::function<bool()> stopped;              // before every chunk: true ends the feeding
};

// Feeds `source` from its current position to its end into `dest` at zlib
// `level`, on every processor when it is larger than one parallel block (a
// source of one block gains nothing from more threads: the stream is the
// same bytes either way). Also after a stop the part read so far becomes a
// complete stream. Returns the space saved in percent (0 for an empty
// source), measured before the final flush. Throws on any read, write or
// zlib failure; a source that shrank meanwhile fails.
float DeflateSource(InputFile& source, OutputFile& dest, int level, const DeflateSteps& steps);

}  // namespace vesk::compress
