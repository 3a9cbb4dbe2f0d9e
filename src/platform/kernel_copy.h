// Copies between files inside the kernel through a pipe (splice). On file
// systems that cannot share or offload a copy (ext4, tmpfs) the kernel's own
// file-to-file copy is a splice through a small pipe, and pieces every page
// together from two when the sides sit at different places within a page;
// a pipe of a full MiB moves the source's pages by reference and runs faster
// in both cases.
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

// Whether the file system of `fd` shares extents or copies on the server
// when asked for a file-to-file copy (copy_file_range): reflinking local file
// systems and network ones. Their copies of page-aligned ranges go to the
// kernel's copy, the others through SpliceCopy.
bool KernelSharesCopies(int fd);

// For tests: KernelSharesCopies answers yes for every file system, so that
// the kernel's copy road runs where the tests run (copy_file_range copies
// on ext4 and tmpfs too, only without sharing).
void TreatEveryFileSystemAsSharing(bool on);

}  // namespace vesk
