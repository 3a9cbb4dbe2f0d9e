// Streaming zlib over files: a deflate stream in front of an output file and
// an inflate stream over an input file, each with fixed buffers, so memory
// stays the same whatever the file size.
//
// The stream format is the zlib one: deflate method, 15-bit window, zlib
// header and Adler-32 trailer, memory level 8, default strategy.
//
// Both directions are zlib's own: a ".zak" holds exactly the bytes zlib
// writes at the chosen level, and any stream zlib accepts is read back.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

#include "platform/file_io.h"

namespace vesk::compress {

// A stream that is refused: not zlib data, damaged, failing its Adler-32
// check, ending before its trailer, or a failure of the library.
class ZlibError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Compressed bytes go to the file in blocks of up to this many bytes.
inline constexpr std::size_t kDeflateBlockSize = 65536;
// The inflate stream reads its source in blocks of this many bytes: large
// reads keep zlib in its fast loop and the system calls few.
inline constexpr std::size_t kInflateReadSize = 1 << 20;

// A byte buffer left uninitialised, so that only the pages a run actually
// uses are touched: a small file does not pay for the large buffers.
class ByteBuffer {
 public:
  explicit ByteBuffer(std::size_t n) : data_(std::make_unique_for_overwrite<unsigned char[]>(n)), size_(n) {}
  unsigned char* data() { return data_.get(); }
  std::size_t size() const { return size_; }

 private:
  std::unique_ptr<unsigned char[]> data_;
  std::size_t size_;
};

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
  ByteBuffer block_;
  bool finished_ = false;
};

class InflateReader {
 public:
  // Reads `in` from its current position.
  explicit InflateReader(InputFile& in);
  ~InflateReader();
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

  InputFile& in_;
  z_stream z_{};
  ByteBuffer buffer_;
  bool source_ended_ = false;  // the source has no bytes beyond those in buffer_
  bool complete_ = false;
};

}  // namespace vesk::compress
