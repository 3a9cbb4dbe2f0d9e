#include "platform/stream_target.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <utility>

#include "platform/file_io.h"
#include "platform/page_cache_write.h"

namespace vesk {
namespace {

// The descriptor a name of the process's own descriptors stands for
// (/dev/stdout, /dev/stderr, /dev/fd/N, /proc/self/fd/N), or -1. Writing
// into that descriptor keeps what the shell set up (its offset, O_APPEND)
// where opening the name again would start a file over.
int OwnDescriptorNamed(const std::string& path) {
  if (path == "/dev/stdout") return STDOUT_FILENO;
  if (path == "/dev/stderr") return STDERR_FILENO;
  for (std::string_view prefix : {"/dev/fd/", "/proc/self/fd/"}) {
    if (path.compare(0, prefix.size(), prefix) != 0 || path.size() == prefix.size()) continue;
    int fd = 0;
    for (std::size_t i = prefix.size(); i < path.size(); ++i) {
      if (path[i] < '0' || path[i] > '9' || fd > 100000) return -1;
      fd = fd * 10 + (path[i] - '0');
    }
    return fd;
  }
  return -1;
}

// A pipe of 1 MiB instead of 64 KiB: a fraction of the system calls and
// hand-overs between the two ends. A hint: a pipe keeps its size when the
// system refuses (the limit is /proc/sys/fs/pipe-max-size).
void WidenPipe(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISFIFO(st.st_mode)) ::fcntl(fd, F_SETPIPE_SZ, 1 << 20);
}

}  // namespace

bool IsStandardStream(const std::string& path) { return path == "-"; }

bool IsStreamTarget(const std::string& path) {
  if (IsStandardStream(path)) return true;
  // Never a file to stage and rename over: a closed descriptor fails at Open.
  if (OwnDescriptorNamed(path) >= 0) return true;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  return !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

StreamTarget::~StreamTarget() {
  if (own_ && fd_ >= 0) ::close(fd_);
}

void StreamTarget::Open(const std::string& path) {
  if (IsStandardStream(path)) {
    fd_ = STDOUT_FILENO;
    own_ = false;
    regular_ = IsRegularFile(fd_);
    WidenPipe(fd_);
    return;
  }
  if (const int fd = OwnDescriptorNamed(path); fd >= 0) {
    fd_ = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (fd_ < 0) ThrowIoError("cannot write " + path);
    own_ = true;
    regular_ = IsRegularFile(fd_);
    return;
  }
  // No O_CREAT, no O_TRUNC: a device or FIFO is written into as it is. A
  // FIFO's open waits for its reader, as any writer's does.
  fd_ = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (fd_ < 0) ThrowIoError("cannot open " + path);
  own_ = true;
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || S_ISREG(st.st_mode)) {
    ::close(std::exchange(fd_, -1));
    throw IoError(path + " is a regular file now");
  }
  WidenPipe(fd_);
}

void StreamTarget::Write(const void* buf, std::size_t n) {
  if (n == 0) return;
  if (hook_) hook_(written_, n);
  // Standard output sent into a file goes through the page-cache writer
  // (page_cache_write.h); pipes and devices take every write whole.
  const int error = regular_ ? writer_.Write(fd_, buf, n, written_, &written_) : WriteWhole(fd_, buf, n, &written_);
  if (error != 0) {
    errno = error;
    ThrowIoError("cannot write");
  }
}

void StreamTarget::Finish() {
  if (fd_ < 0) return;
  if (hook_) hook_(written_, 0);
  const int fd = std::exchange(fd_, -1);
  if (own_ && ::close(fd) != 0 && errno != EINTR) ThrowIoError("cannot write");
}

StandardInput& StandardInput::Get() {
  static StandardInput input;
  return input;
}

long StandardInput::Read(void* buf, std::size_t n) {
  if (at_ < kept_.size()) {
    const std::size_t k = std::min(n, kept_.size() - at_);
    std::memcpy(buf, kept_.data() + at_, k);
    at_ += k;
    if (!keeping_ && at_ == kept_.size()) {
      kept_ = {};
      at_ = 0;
    }
    return static_cast<long>(k);
  }
  if (!widened_) {
    widened_ = true;
    WidenPipe(STDIN_FILENO);
  }
  for (;;) {
    const ssize_t got = ::read(STDIN_FILENO, buf, n);
    if (got < 0 && errno == EINTR) continue;
    if (got > 0 && keeping_) {
      const auto* p = static_cast<const unsigned char*>(buf);
      kept_.insert(kept_.end(), p, p + got);
      at_ = kept_.size();
    }
    return static_cast<long>(got);
  }
}

void StandardInput::Look() {
  keeping_ = true;
  at_ = 0;
}

void StandardInput::Rewind() { at_ = 0; }

void StandardInput::Release() {
  keeping_ = false;
  if (at_ == kept_.size()) {
    kept_ = {};
    at_ = 0;
  }
}

}  // namespace vesk
