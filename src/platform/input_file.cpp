#include "platform/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/file_io.h"

namespace vesk {

InputFile::~InputFile() { Close(); }

InputFile::InputFile(InputFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), pos_(std::exchange(other.pos_, 0)), hook_(std::move(other.hook_)) {}

InputFile& InputFile::operator=(InputFile&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    pos_ = std::exchange(other.pos_, 0);
    hook_ = std::move(other.hook_);
  }
  return *this;
}

void InputFile::Open(const std::string& path) {
  Close();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) ThrowIoError("cannot open " + path);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    errno = EISDIR;
    ThrowIoError("cannot read " + path);
  }
  fd_ = fd;
  pos_ = 0;
}

void InputFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  pos_ = 0;
}

int64_t InputFile::Size() const {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) ThrowIoError("cannot measure file");
  return static_cast<int64_t>(st.st_size);
}

void InputFile::Seek(int64_t pos) {
  if (::lseek(fd_, static_cast<off_t>(pos), SEEK_SET) < 0) ThrowIoError("cannot seek");
  pos_ = pos;
}

std::size_t InputFile::Read(void* buf, std::size_t n) {
  auto* p = static_cast<char*>(buf);
  std::size_t done = 0;
  while (done < n) {
    std::size_t ask = n - done;
    if (hook_) {
      ask = std::min(ask, hook_(pos_ + static_cast<int64_t>(done), ask));
      if (ask == 0) break;
    }
    ssize_t got = ::read(fd_, p + done, ask);
    if (got < 0) {
      if (errno == EINTR) continue;
      ThrowIoError("cannot read");
    }
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  pos_ += static_cast<int64_t>(done);
  return done;
}

void InputFile::ReadExact(void* buf, std::size_t n) {
  if (Read(buf, n) != n) throw IoError("unexpected end of file");
}

}  // namespace vesk
