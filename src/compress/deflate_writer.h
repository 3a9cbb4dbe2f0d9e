// A deflate stream in front of an output file, with a fixed block buffer,
// writing exactly the zlib stream zlib writes at the chosen level.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>

#include "compress/byte_buffer.h"
#include "compress/zlib_error.h"
#include "platform/file_io.h"

namespace vesk::compress {

// Compressed bytes go to the file in blocks of up to this many bytes.
inline constexpr std::size_t kDeflateBlockSize = 65536;
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

}  // namespace vesk::compress
