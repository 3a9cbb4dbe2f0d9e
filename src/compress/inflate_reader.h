// An inflate stream over an input file, with a fixed read buffer: any stream
// zlib accepts is read back, and anything else is refused (the fast decoder
// also decodes a block whose distance code is incomplete, which zlib
// refuses; such a stream fails its Adler-32 check unless made to pass it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "compress/byte_buffer.h"
#include "compress/inflate_engine.h"
#include "compress/zlib_error.h"
#include "platform/file_io.h"

namespace vesk::compress {

// The inflate stream reads its source in blocks of this many bytes: large
// reads keep the decoder in its fast loop and the system calls few.
inline constexpr std::size_t kInflateReadSize = 1 << 20;

// The decoder this program inflates with: the fast one where it has it,
// else zlib's.
std::unique_ptr<InflateEngine> NewInflateEngine();

class InflateReader {
 public:
  // Reads `in` from its current position with this program's decoder.
  explicit InflateReader(InputFile& in);
  // The same with the given decoder (the differential tests compare two).
  InflateReader(InputFile& in, std::unique_ptr<InflateEngine> engine);
  // Reads a stream without a file behind it (standard input): `read` fills
  // its buffer completely except at the end and throws on a failure. No
  // Rewind.
  explicit InflateReader(std::function<std::size_t(void*, std::size_t)> read);
  InflateReader(const InflateReader&) = delete;
  InflateReader& operator=(const InflateReader&) = delete;

  // Fills `out` with up to n uncompressed bytes (any n; large requests are
  // the fastest); fewer only at the end of the stream, once its trailer has been read and its Adler-32 check passed.
  // Bytes behind the trailer are never read as data. Throws ZlibError for
  // data that is not a zlib stream, is damaged, fails its check, or ends
  // before its trailer (a cut-short stream is a failure, not a shorter file).
  std::size_t Read(void* out, std::size_t n);
  // Back to offset 0 of the source with a fresh inflate state.
  void Rewind();

  // True once the trailer has been read and checked.
  bool Complete() const { return complete_; }

 private:
  void Fill();

  InputFile* in_ = nullptr;  // none for a stream
  std::function<std::size_t(void*, std::size_t)> read_;
  std::unique_ptr<InflateEngine> engine_;
  ByteBuffer buffer_;
  const unsigned char* next_in_ = nullptr;
  std::size_t avail_in_ = 0;
  bool source_ended_ = false;  // the source has no bytes beyond those in buffer_
  bool complete_ = false;
};

}  // namespace vesk::compress
