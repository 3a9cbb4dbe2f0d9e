#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace vesk {
namespace {

[[noreturn]] void Fail(const std::string& what) { throw IoError(what + ": " + std::strerror(errno)); }

}  // namespace

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool PathExists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool DeleteFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

int64_t FileSizeOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

InputFile::~InputFile() { Close(); }

InputFile::InputFile(InputFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), pos_(std::exchange(other.pos_, 0)) {}

InputFile& InputFile::operator=(InputFile&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    pos_ = std::exchange(other.pos_, 0);
  }
  return *this;
}

void InputFile::Open(const std::string& path) {
  Close();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) Fail("cannot open " + path);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    errno = EISDIR;
    Fail("cannot read " + path);
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
  if (::fstat(fd_, &st) != 0) Fail("cannot measure file");
  return static_cast<int64_t>(st.st_size);
}

void InputFile::Seek(int64_t pos) {
  if (::lseek(fd_, static_cast<off_t>(pos), SEEK_SET) < 0) Fail("cannot seek");
  pos_ = pos;
}

std::size_t InputFile::Read(void* buf, std::size_t n) {
  auto* p = static_cast<char*>(buf);
  std::size_t done = 0;
  while (done < n) {
    ssize_t got = ::read(fd_, p + done, n - done);
    if (got < 0) {
      if (errno == EINTR) continue;
      Fail("cannot read");
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

OutputFile::~OutputFile() {
  if (fd_ >= 0) ::close(fd_);
}

OutputFile::OutputFile(OutputFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

void OutputFile::CreateNew(const std::string& path, mode_t mode) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
  if (fd_ < 0) Fail("cannot create " + path);
}

void OutputFile::Write(const void* buf, std::size_t n) {
  const auto* p = static_cast<const char*>(buf);
  while (n > 0) {
    ssize_t put = ::write(fd_, p, n);
    if (put < 0) {
      if (errno == EINTR) continue;
      Fail("cannot write");
    }
    p += put;
    n -= static_cast<std::size_t>(put);
  }
}

void OutputFile::Seek(int64_t pos) {
  if (::lseek(fd_, static_cast<off_t>(pos), SEEK_SET) < 0) Fail("cannot seek");
}

void OutputFile::Close() {
  if (fd_ < 0) return;
  int fd = std::exchange(fd_, -1);
  if (::close(fd) != 0) Fail("cannot close");
}

}  // namespace vesk
