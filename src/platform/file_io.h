// Files by path: existence, deletion, identity, size, and the error the file
// handles (input_file.h, output_file.h) throw. The engines catch IoError
// where they decide what the user sees.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace vesk {

class IoError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Throws IoError naming `what` and the reason errno holds.
[[noreturn]] void ThrowIoError(const std::string& what);

bool FileExists(const std::string& path);          // a regular file (or a link to one)
bool PathExists(const std::string& path);          // anything at all, links not followed
bool DirectoryExists(const std::string& path);
// True when the file system of `folder` has (nearly) no room left, so that a
// failed write there is taken for a full disk: a write fails when it no
// longer fits, and one write is far smaller than the margin.
bool LowOnSpace(const std::string& folder);
// Deletes a file (or frees an unnamed temporary one, staged_file.h); true when
// it was deleted.
bool DeleteFile(const std::string& path);
// True when both paths name the same existing file (same device and inode).
bool SameFile(const std::string& a, const std::string& b);
// Size of a file, or -1 when it cannot be measured.
int64_t FileSizeOf(const std::string& path);

}  // namespace vesk

#include "platform/input_file.h"
#include "platform/output_file.h"
