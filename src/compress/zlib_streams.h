// Streaming zlib over files: a deflate stream in front of an output file and
// an inflate stream over an input file, each with one fixed buffer, so memory
// stays the same whatever the file size.
//
// The stream format is the zlib one: deflate method, 15-bit window, zlib
// header and Adler-32 trailer, memory level 8, default strategy.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "platform/file_io.h"

namespace vesk::compress {

// A stream that zlib refuses: not zlib data, damaged, or a zlib failure.
class ZlibError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Compressed bytes go to the file in blocks of up to this many bytes.
inline constexpr std::size_t kDeflateBlockSize = 65536;
// The inflate stream reads its source in blocks of this many bytes.
inline constexpr std::size_t kInflateReadSize = 65536;

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

  // Fills `out` with up to n uncompressed bytes; fewer only when the stream
  // has ended, either at its trailer (bytes behind it are never read as
  // data) or because the source ran out first (a cut-short stream yields
  // what it holds). Throws ZlibError for data zlib cannot take.
  std::size_t Read(void* out, std::size_t n);
  // Back to offset 0 of the source with a fresh inflate state.
  void Rewind();

  // True when the stream ended at its trailer, false while running or cut short.
  bool Complete() const { return complete_; }

 private:
  InputFile& in_;
  z_stream z_{};
  std::vector<unsigned char> buffer_;
  bool source_ended_ = false;
  bool ended_ = false;
  bool complete_ = false;
};

}  // namespace vesk::compress
