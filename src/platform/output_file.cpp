#include "platform/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/file_io.h"
#include "platform/page_cache_write.h"

namespace vesk {

OutputFile::~OutputFile() {
  if (fd_ >= 0 && owned_) ::close(fd_);
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      pos_(std::exchange(other.pos_, 0)),
      owned_(other.owned_),
      writer_(other.writer_),
      hook_(std::move(other.hook_)) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0 && owned_) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    pos_ = std::exchange(other.pos_, 0);
    owned_ = other.owned_;
    writer_ = other.writer_;
    hook_ = std::move(other.hook_);
  }
  return *this;
}

void OutputFile::CreateNew(const std::string& path, mode_t mode) {
  if (fd_ >= 0 && owned_) ::close(fd_);
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
  owned_ = true;
  if (fd_ < 0) ThrowIoError("cannot create " + path);
  pos_ = 0;
  writer_ = {};
}

void OutputFile::WriteInto(int fd) {
  if (fd_ >= 0 && owned_) ::close(fd_);
  fd_ = fd;
  owned_ = false;
  pos_ = 0;
  writer_ = {};
}

void OutputFile::Write(const void* buf, std::size_t n) {
  if (hook_ && n > 0) hook_(pos_, n);
  const int64_t at = pos_;
  pos_ += static_cast<int64_t>(n);
  if (const int error = writer_.Write(fd_, buf, n, at); error != 0) {
    errno = error;
    ThrowIoError("cannot write");
  }
}

void OutputFile::Seek(int64_t pos) {
  if (::lseek(fd_, static_cast<off_t>(pos), SEEK_SET) < 0) ThrowIoError("cannot seek");
  pos_ = pos;
}

void OutputFile::Close() {
  if (fd_ < 0) return;
  if (hook_) hook_(pos_, 0);
  int fd = std::exchange(fd_, -1);
  if (owned_ && ::close(fd) != 0) ThrowIoError("cannot close");
}

}  // namespace vesk
