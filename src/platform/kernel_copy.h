// Copies between files inside the kernel through a pipe (splice), for the
// copies whose two sides sit at different places within a page: there the
// kernel's file-to-file copy pieces every page together from two and runs no
// faster than a copy through a buffer, while a pipe of a full MiB moves the
// source's pages by reference and writes each output page once.
#pragma once

#include <sys/types.h>

#include <cstddef>

namespace vesk {

struct SpliceResult {
  std::size_t copied = 0;  // bytes now in the output, from *from on
  int error = 0;           // a failure of the output (errno), or 0
};

// Copies up to `n` bytes of `in_fd` from offset `*from` to `out_fd` at its
// position, advancing both by what was copied. Stops early, with no error, when
// the source ends or the kernel cannot splice between these files, so that
// the caller copies the rest another way; stops with `error` set when the
// output cannot be written.
SpliceResult SpliceCopy(int in_fd, loff_t* from, int out_fd, std::size_t n);

}  // namespace vesk
