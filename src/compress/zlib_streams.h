// Streaming zlib over files: a deflate stream in front of an output file and
// an inflate stream over an input file, each with fixed buffers, so memory
// stays the same whatever the file size.
//
// The stream format is the zlib one: deflate method, 15-bit window, zlib
// header and Adler-32 trailer, memory level 8, default strategy.
//
// Compression is zlib's own, so a ".zak" holds exactly the bytes zlib writes
// at the chosen level. Decompression uses ISA-L's inflate, which decodes the
// same format three to four times faster than zlib does; a decompression
// inflates its source twice (once to learn the length, once to write it), and
// with zlib that alone costs more than a whole `gzip -dc`.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

#include "platform/file_io.h"

struct inflate_state;  // ISA-L's inflate state, kept out of this header

namespace vesk::compress {

// A stream that is refused: not zlib data, damaged, failing its Adler-32
// check, ending before its trailer, or a failure of the library.
class ZlibError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Compressed bytes go to the file in blocks of up to this many bytes.
inline constexpr std::size_t kDeflateBlockSize = 65536;
// The inflate stream reads its source in blocks of this many bytes.
inline constexpr std::size_t kInflateReadSize = 1 << 17;

class DeflateWriter {
 public:
  // `level`: 0 (stored blocks) .. 9, or Z_DEFAULT_COMPRESSION.
  DeflateWriter(OutputFile& out, int level);
  ~DeflateWriter();
  DeflateWriter(const DeflateWriter&) = delete;
  DeflateWriter& operator=(const DeflateWriter&) = delete;

  void Write(const void* data, std::size_t n);
  // Flushes everything still held and writes the trailer; once.
  void Finish();

  int64_t BytesIn() const { return static_cast<int64_t>(z_.total_in); }
  // Compressed bytes produced so far, whether or not written to the file yet.
  int64_t BytesOut() const { return static_cast<int64_t>(z_.total_out); }

 private:
  void WriteBlock();

  OutputFile& out_;
  z_stream z_{};
  std::vector<unsigned char> block_;
  bool finished_ = false;
};

class InflateReader {
 public:
  // Reads `in` from its current position.
  explicit InflateReader(InputFile& in);
  ~InflateReader();
  InflateReader(const InflateReader&) = delete;
  InflateReader& operator=(const InflateReader&) = delete;

  // Fills `out` with up to n uncompressed bytes; fewer only at the end of the
  // stream, once its trailer has been read and its Adler-32 check passed.
  // Bytes behind the trailer are never read as data. Throws ZlibError for
  // data that is not a zlib stream, is damaged, fails its check, or ends
  // before its trailer (a cut-short stream is a failure, not a shorter file).
  std::size_t Read(void* out, std::size_t n);
  // Back to offset 0 of the source with a fresh inflate state.
  void Rewind();

  // True once the trailer has been read and checked.
  bool Complete() const { return complete_; }

 private:
  void Reset();  // a fresh inflate state that expects a zlib header

  InputFile& in_;
  std::unique_ptr<inflate_state> state_;
  std::vector<unsigned char> buffer_;
  bool complete_ = false;
};

}  // namespace vesk::compress
