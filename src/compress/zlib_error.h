// What the zlib streams over files share: the stream parameters and the
// error of a refused stream. The writer (deflate_writer.h) and the reader
// (inflate_reader.h) keep fixed buffers, so memory stays the same whatever
// the file size.
//
// The stream format is the zlib one: deflate method, 15-bit window, zlib
// header and Adler-32 trailer, memory level 8, default strategy.
//
// Both directions are zlib's own: a ".zak" holds exactly the bytes zlib
// writes at the chosen level, and any stream zlib accepts is read back.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <stdexcept>

namespace vesk::compress {

// A stream that is refused: not zlib data, damaged, failing its Adler-32
// check, ending before its trailer, or a failure of the library.
class ZlibError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr int kZlibWindowBits = 15;  // 32 KiB window, zlib header and Adler-32 trailer
inline constexpr int kZlibMemLevel = 8;

// Throws ZlibError naming `what` and zlib's reason for `code`.
[[noreturn]] void FailZlib(const char* what, const z_stream& z, int code);

}  // namespace vesk::compress
