// An unbuffered file handle for writing a new file over a POSIX descriptor.
// Failures throw IoError.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/fault_hooks.h"
#include "platform/page_cache_write.h"

namespace vesk {

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&& other) noexcept;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates a new file; fails when anything (a file or a link) is already at
  // `path`. Never follows a symbolic link.
  void CreateNew(const std::string& path, mode_t mode = 0644);
  // Writes through `fd`, which stays its owner's (a StagedOutput's): Close
  // leaves it open.
  void WriteInto(int fd);
  bool IsOpen() const { return fd_ >= 0; }
  void Write(const void* buf, std::size_t n);  // all or throw
  void Seek(int64_t pos);
  void Close();  // throws when the final close reports an error
  // Tests: called before every write and, with size 0, before the close
  // (fault_hooks.h).
  void SetWriteHook(WriteHook hook) { hook_ = std::move(hook); }

 private:
  int fd_ = -1;
  int64_t pos_ = 0;
  bool owned_ = true;
  PageCacheWriter writer_;
  WriteHook hook_;
};

}  // namespace vesk
