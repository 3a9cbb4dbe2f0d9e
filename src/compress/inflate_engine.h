// The decoder behind InflateReader: one zlib stream (header, deflate data,
// Adler-32 trailer) decoded piece by piece. Two implementations decode the
// same streams to the same bytes and refuse the same streams the same way:
// zlib's, always built, and a faster one where the build has it
// (inflate_codecs.h chooses).
#pragma once

#include <cstddef>
#include <memory>

namespace vesk::compress {

enum class InflateStep {
  kProgress,  // input consumed or output produced; call again
  kStuck,     // nothing could move: more input (or more room) is needed
  kEnd,       // the trailer has been read and its check passed
};

class InflateEngine {
 public:
  virtual ~InflateEngine() = default;
  // Decodes from [in, in + in_len) into [out, out + out_len), advancing
  // both and shrinking the lengths by what was used. Throws ZlibError for a
  // stream that is refused, with its fault.
  virtual InflateStep Inflate(const unsigned char*& in, std::size_t& in_len, unsigned char*& out,
                              std::size_t& out_len) = 0;
  // Back to the start of a new stream.
  virtual void Reset() = 0;
};

// zlib's inflate with a 15-bit window, the zlib header and trailer required.
std::unique_ptr<InflateEngine> NewZlibInflateEngine();

}  // namespace vesk::compress
