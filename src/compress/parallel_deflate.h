// Deflate on several threads into one standard zlib stream.
//
// The source is cut into blocks. Worker threads deflate the blocks as raw
// deflate data, each primed with the 32 KiB of source before it as its
// dictionary (so matches reach across block boundaries as in one stream) and
// ended on a byte boundary by a sync flush; the last block ends the deflate
// data. The blocks go to the file in order after one zlib header, followed by
// the Adler-32 of the whole source, combined from the blocks' own checksums.
// Any zlib inflates the result as one stream. The blocks of the fast level
// are deflated by the faster deflater where the program has one
// (inflate_codecs.h), writing less than zlib's fast level; every other level
// is zlib's, within a small fraction of a percent of what single-threaded
// zlib writes at that level.
//
// Memory is bounded whatever the source size: at most two blocks per thread
// are in flight, and a block is written as soon as it and every block before
// it are done.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/file_io.h"

namespace vesk::compress {

// Source bytes per block. Large enough that priming each block with a
// dictionary costs little, small enough that a file of a few MiB keeps every
// thread busy.
inline constexpr std::size_t kParallelBlockSize = 256 << 10;
// The deflate window: a block's dictionary is this much source before it.
inline constexpr std::size_t kDeflateWindow = 32768;

// The number of threads a compression uses: the value of the environment
// variable VESK_THREADS when it is a whole number from 1 to 64, else the
// number of processors this process may run on (at least 1, at most 64).
int CompressionThreads();

// Where the compressed bytes go, in order; it throws to fail the stream.
using CompressedSink = std::function<void(const void* data, std::size_t n)>;

class ParallelDeflateWriter {
 public:
  // `level`: 0 .. 9 or Z_DEFAULT_COMPRESSION; `threads` >= 1 workers;
  // `block_size` is raised to at least the window size.
  ParallelDeflateWriter(OutputFile& out, int level, int threads, std::size_t block_size = kParallelBlockSize);
  // The same into any sink (a cipher in front of a file, say), called on the
  // writer's thread.
  ParallelDeflateWriter(CompressedSink out, int level, int threads, std::size_t block_size = kParallelBlockSize);
  // Stops the workers; a stream not finished is left incomplete.
  ~ParallelDeflateWriter();
  ParallelDeflateWriter(const ParallelDeflateWriter&) = delete;
  ParallelDeflateWriter& operator=(const ParallelDeflateWriter&) = delete;

  void Write(const void* data, std::size_t n);
  // Deflates and writes what is still held, then the trailer; once.
  void Finish();

  int64_t BytesIn() const;
  // Compressed bytes of every block handed to the workers so far, header
  // included; waits until they are done. The block still being filled (the
  // last one, at the end) is not counted.
  int64_t BytesOut();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vesk::compress
