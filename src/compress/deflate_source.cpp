#include "compress/deflate_source.h"

#include <algorithm>

#include "compress/byte_buffer.h"
#include "compress/deflate_writer.h"
#include "compress/parallel_deflate.h"

namespace vesk::compress {
namespace {

template <typename Deflater>
float Feed(InputFile& source, Deflater& deflater, const DeflateSteps& steps) {
  int64_t remaining = source.Size();
  int64_t done = 0;
  if (steps.begin) steps.begin(remaining);
  // Left uninitialised and no larger than the source: a small file
  // touches only the pages it uses.
  ByteBuffer chunk(static_cast<std::size_t>(std::clamp<int64_t>(remaining, 1, kDeflateChunk)));
  while (remaining > 0 && !(steps.stopped && steps.stopped())) {
    const auto n = static_cast<std::size_t>(std::min(remaining, kDeflateChunk));
    source.ReadExact(chunk.data(), n);
    deflater.Write(chunk.data(), n);
    done += static_cast<int64_t>(n);
    if (steps.step) steps.step(done);
    remaining -= static_cast<int64_t>(n);
  }
  // Taken before the final flush, which is therefore not counted.
  const int64_t fed = deflater.BytesIn();
  const float rate =
      fed > 0 ? static_cast<float>(100.0 * (1.0 - static_cast<double>(deflater.BytesOut()) / static_cast<double>(fed)))
              : 0.0f;
  deflater.Finish();
  return rate;
}

}  // namespace

float DeflateSource(InputFile& source, OutputFile& dest, int level, const DeflateSteps& steps) {
  const int threads = source.Size() > static_cast<int64_t>(kParallelBlockSize) ? CompressionThreads() : 1;
  if (threads > 1) {
    ParallelDeflateWriter deflater(dest, level, threads);
    return Feed(source, deflater, steps);
  }
  DeflateWriter deflater(dest, level);
  return Feed(source, deflater, steps);
}

}  // namespace vesk::compress
