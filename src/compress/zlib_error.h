// What the zlib streams over files share: the stream parameters and the
// error of a refused stream. The writer (deflate_writer.h) and the reader
// (inflate_reader.h) keep fixed buffers, so memory stays the same whatever
// the file size.
//
// The stream format is the zlib one: deflate method, 15-bit window, zlib
// header and Adler-32 trailer, memory level 8, default strategy.
//
// Any stream zlib accepts is read back, and every stream written is one any
// zlib reads: the single-threaded writer writes exactly zlib's bytes, the
// parallel one (parallel_deflate.h) a stream of independently made blocks.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <stdexcept>
#include <string>

namespace vesk::compress {

// Why a stream was refused. Every decoder gives the same fault for the same
// stream, so that a faster one changes nothing a user or a test can see.
enum class StreamFault {
  kFailure,          // the library failed, or the file changed while read
  kDamaged,          // not zlib data, or a damaged header or deflate data
  kChecksum,         // decoded completely, but the Adler-32 trailer differs
  kTruncated,        // the source ends before the last byte of the trailer
  kNeedsDictionary,  // the header asks for a preset dictionary
};

// A stream that is refused: not zlib data, damaged, failing its Adler-32
// check, ending before its trailer, or a failure of the library.
class ZlibError : public std::runtime_error {
 public:
  explicit ZlibError(const std::string& what, StreamFault fault = StreamFault::kFailure)
      : std::runtime_error(what), fault_(fault) {}
  StreamFault Fault() const { return fault_; }

 private:
  StreamFault fault_;
};

inline constexpr int kZlibWindowBits = 15;  // 32 KiB window, zlib header and Adler-32 trailer
inline constexpr int kZlibMemLevel = 8;

// Throws ZlibError naming `what` and zlib's reason for `code`.
[[noreturn]] void FailZlib(const char* what, const z_stream& z, int code,
                           StreamFault fault = StreamFault::kFailure);

}  // namespace vesk::compress
