// Outputs and inputs that are streams rather than files: "-" (standard
// input as a source, standard output as a target), the names of the
// process's own descriptors (/dev/stdout, /dev/fd/N) and anything already
// at a target that is no regular file (a FIFO, a character device such as
// /dev/null, a socket; links followed). Such a target is written into as
// it is, never replaced by a staged file: it cannot be put in place, and
// the file at that name is not ours to replace.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/fault_hooks.h"
#include "platform/page_cache_write.h"

namespace vesk {

// "-": standard input as a source, standard output as a target.
bool IsStandardStream(const std::string& path);

// Whether an output named `path` is written into as a stream (see above).
// A missing name, a regular file, a folder and a dangling link are not.
bool IsStreamTarget(const std::string& path);

// An output written into as a stream: every write checked, the descriptor
// closed (checked) at Finish; standard output itself is never closed.
// Nothing can be taken back once written: the caller writes only what may
// be seen, and a run that fails after writing says so.
class StreamTarget {
 public:
  StreamTarget() = default;
  ~StreamTarget();
  StreamTarget(const StreamTarget&) = delete;
  StreamTarget& operator=(const StreamTarget&) = delete;

  // Opens `path` (IsStreamTarget) for writing without creating, truncating
  // or replacing anything; a regular file found there by now is refused.
  // Throws IoError.
  void Open(const std::string& path);
  bool IsOpen() const { return fd_ >= 0; }
  void SetWriteHook(WriteHook hook) { hook_ = std::move(hook); }
  void Write(const void* buf, std::size_t n);  // all or throw
  // The final check: closes a descriptor of its own. Throws IoError.
  void Finish();
  int64_t BytesWritten() const { return written_; }

 private:
  int fd_ = -1;
  bool own_ = false;
  bool regular_ = false;  // standard output or /dev/fd/N sent into a regular file
  PageCacheWriter writer_;
  int64_t written_ = 0;
  WriteHook hook_;
};

// The process's standard input as the one stream source. A caller may look
// at its first bytes (an age header, to learn which key it needs) and have
// them come again: bytes read between Look() and Rewind() are kept and read
// again first; Release() lets them go once read again.
class StandardInput {
 public:
  static StandardInput& Get();

  // As read(2) on descriptor 0 (EINTR retried): the count, 0 at the end,
  // -1 with errno set.
  long Read(void* buf, std::size_t n);
  void Look();
  void Rewind();
  void Release();

 private:
  std::vector<unsigned char> kept_;
  std::size_t at_ = 0;
  bool keeping_ = false;
  bool widened_ = false;
};

}  // namespace vesk
