#include "platform/staged_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <utility>
#include <vector>

#include "platform/kernel_copy.h"
#include "platform/paths.h"

namespace vesk {
namespace {

[[noreturn]] void Fail(const std::string& what, int error) { throw IoError(what + ": " + std::strerror(error)); }

// Creates "<folder><prefix>XXXXXX<suffix>" exclusively (mode 0600) and
// returns the open descriptor; `path` receives the name.
int CreateUnique(const std::string& folder, std::string_view prefix, std::string_view suffix, std::string& path) {
  std::string name = folder;
  name += prefix;
  name += "XXXXXX";
  name += suffix;
  std::vector<char> buf(name.begin(), name.end());
  buf.push_back('\0');
  const int fd = ::mkostemps(buf.data(), static_cast<int>(suffix.size()), O_CLOEXEC);
  if (fd < 0) Fail("cannot create a temporary file in " + folder, errno);
  path.assign(buf.data());
  return fd;
}

// Makes a rename in `folder` survive a power cut; best effort.
void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

void RenameInto(const std::string& staging, const std::string& target, bool replace) {
  if (replace) {
    if (::rename(staging.c_str(), target.c_str()) != 0) Fail("cannot rename to " + target, errno);
    return;
  }
  if (::renameat2(AT_FDCWD, staging.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return;
  const int error = errno;
  if (error == EEXIST) throw TargetExistsError(target + " exists");
  if (error != EINVAL && error != ENOSYS) Fail("cannot rename to " + target, error);
  // A file system without RENAME_NOREPLACE: a hard link is just as exclusive.
  if (::link(staging.c_str(), target.c_str()) != 0) {
    if (errno == EEXIST) throw TargetExistsError(target + " exists");
    Fail("cannot rename to " + target, errno);
  }
  ::unlink(staging.c_str());
}

// Whether a commit to `target` would put a file in place of one that is there
// now (a link counts: the rename replaces the link itself).
bool Occupied(const std::string& target) {
  struct stat st {};
  return ::lstat(target.c_str(), &st) == 0;
}

}  // namespace

mode_t CurrentUmask() {
  // umask() can only be read by setting it, which races with other threads
  // creating files; the kernel shows it in the process status instead.
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8) & 0777);
  }
  return 022;
}

mode_t DefaultFileMode() { return 0666 & ~CurrentUmask(); }
mode_t DefaultProgramMode() { return 0777 & ~CurrentUmask(); }

mode_t PermissionsOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return DefaultFileMode();
  return st.st_mode & 07777 & ~static_cast<mode_t>(S_ISUID | S_ISGID);
}

mode_t PermissionsOfOpen(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return DefaultFileMode();
  return st.st_mode & 07777 & ~static_cast<mode_t>(S_ISUID | S_ISGID);
}

mode_t ProgramModeFor(mode_t mode) { return mode | ((mode & 0444) >> 2); }

std::string CreateUniqueFile(const std::string& folder, std::string_view prefix, std::string_view suffix) {
  std::string path;
  const int fd = CreateUnique(folder, prefix, suffix, path);
  if (::close(fd) != 0) {
    const int error = errno;
    ::unlink(path.c_str());
    Fail("cannot create " + path, error);
  }
  return path;
}

std::string FolderOf(const std::string& path) {
  std::string folder = ExtractFilePath(path);
  return folder.empty() ? std::string("./") : folder;
}

bool Replaceable(const std::string& target) {
  struct stat st {};
  if (::lstat(target.c_str(), &st) != 0) return true;
  if (S_ISDIR(st.st_mode)) return false;
  const std::string folder = FolderOf(target);
  return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

void CommitStagedFile(const std::string& staging, const std::string& target, mode_t mode, bool replace) {
  const int fd = ::open(staging.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) Fail("cannot open " + staging, errno);
  const bool replacing = replace && Occupied(target);
  if ((replacing && ::fdatasync(fd) != 0) || ::fchmod(fd, mode) != 0) {
    const int error = errno;
    ::close(fd);
    Fail("cannot complete " + staging, error);
  }
  if (::close(fd) != 0) Fail("cannot complete " + staging, errno);
  RenameInto(staging, target, replace);
  if (replacing) SyncFolder(FolderOf(target));
}

StagedOutput::~StagedOutput() { Abandon(); }

StagedOutput::StagedOutput(StagedOutput&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      target_(std::move(other.target_)),
      staging_(std::exchange(other.staging_, std::string())),
      mode_(other.mode_),
      written_(other.written_),
      writeback_from_(other.writeback_from_),
      writeback_(other.writeback_),
      hook_(std::move(other.hook_)) {}

StagedOutput& StagedOutput::operator=(StagedOutput&& other) noexcept {
  if (this != &other) {
    Abandon();
    fd_ = std::exchange(other.fd_, -1);
    target_ = std::move(other.target_);
    staging_ = std::exchange(other.staging_, std::string());
    mode_ = other.mode_;
    written_ = other.written_;
    writeback_from_ = other.writeback_from_;
    writeback_ = other.writeback_;
    hook_ = std::move(other.hook_);
  }
  return *this;
}

void StagedOutput::Open(const std::string& target, mode_t mode) {
  Abandon();
  target_ = target;
  mode_ = mode;
  written_ = 0;
  writeback_from_ = 0;
  fd_ = CreateUnique(FolderOf(target), ".vesk-", ".part", staging_);
  writeback_ = Occupied(target);
}

void StagedOutput::OpenTemporary(const std::string& folder, std::string_view prefix, std::string_view suffix) {
  Abandon();
  target_.clear();
  mode_ = 0600;
  written_ = 0;
  writeback_ = false;
  writeback_from_ = 0;
  fd_ = CreateUnique(folder, prefix, suffix, staging_);
}

void StagedOutput::Write(const void* buf, std::size_t n) {
  if (n == 0) return;
  if (hook_) hook_(written_, n);
  const auto* p = static_cast<const char*>(buf);
  while (n > 0) {
    const ssize_t put = ::write(fd_, p, n);
    if (put < 0) {
      if (errno == EINTR) continue;
      Fail("cannot write " + (target_.empty() ? staging_ : target_), errno);
    }
    p += put;
    n -= static_cast<std::size_t>(put);
    written_ += put;
  }
  StartWriteback();
}

void StagedOutput::CopyFrom(InputFile& in, std::size_t n) {
  constexpr int64_t kPage = 4096;
  loff_t from = in.Position();
  const off_t to = ::lseek(fd_, 0, SEEK_CUR);
  // The kernel's copy moves (or shares) whole pages only when both sides sit
  // at the same place within a page; otherwise every page it writes is
  // pieced together from two, and a splice through a large pipe is faster
  // (kernel_copy.h), with a copy through a buffer for what it leaves.
  if (to < 0 || in.HasReadHook()) {
    CopyThroughBuffer(in, n, to < 0 ? 0 : to);
    return;
  }
  if ((from - to) % kPage != 0) {
    std::size_t moved = 0;
    if (!hook_) {  // a test's write hook sees every write, as the buffer makes them
      const SpliceResult spliced = SpliceCopy(in.Descriptor(), &from, fd_, n);
      moved = spliced.copied;
      written_ += static_cast<int64_t>(moved);
      StartWriteback();
      if (spliced.error != 0) Fail("cannot write " + target_, spliced.error);
    }
    in.Seek(from);
    if (moved < n) CopyThroughBuffer(in, n - moved, to + static_cast<int64_t>(moved));
    return;
  }
  while (n > 0) {
    if (hook_) hook_(written_, n);
    const ssize_t put = ::copy_file_range(in.Descriptor(), &from, fd_, nullptr, n, 0);
    if (put > 0) {
      written_ += put;
      n -= static_cast<std::size_t>(put);
      StartWriteback();
      continue;
    }
    if (put < 0 && errno == EINTR) continue;
    if (put < 0 && errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
      Fail("cannot write " + target_, errno);
    }
    // Not between these two files (or nothing copied, which some file
    // systems answer instead): through a buffer, which also tells a source
    // that really ends early.
    in.Seek(from);
    CopyThroughBuffer(in, n, 0);
    return;
  }
  in.Seek(from);
}

void StagedOutput::CopyThroughBuffer(InputFile& in, std::size_t n, int64_t to) {
  // 256 KiB stays in the processor's cache between the read and the write.
  constexpr std::size_t kBuffer = std::size_t{1} << 18;
  std::unique_ptr<char[]> buffer(new char[std::min(n, kBuffer)]);
  // The first piece ends where the output reaches a multiple of the buffer
  // size, so that every later write starts on a page boundary.
  std::size_t piece = static_cast<std::size_t>((kBuffer - static_cast<uint64_t>(to) % kBuffer) % kBuffer);
  while (n > 0) {
    const std::size_t chunk = std::min(n, piece == 0 ? kBuffer : piece);
    piece = 0;
    in.ReadExact(buffer.get(), chunk);
    Write(buffer.get(), chunk);
    n -= chunk;
  }
}

void StagedOutput::StartWriteback() noexcept {
  // An output that will replace a file has to reach the disk before its
  // rename; starting that every few MiB lets the disk work while the rest is
  // still being produced, so the final flush waits only for the tail. A hint:
  // a failure here shows up again at the checked flush of the commit.
  if (!writeback_ || written_ - writeback_from_ < kWritebackRun) return;
  ::sync_file_range(fd_, writeback_from_, written_ - writeback_from_, SYNC_FILE_RANGE_WRITE);
  writeback_from_ = written_;
}

void StagedOutput::Seek(int64_t pos) {
  if (::lseek(fd_, static_cast<off_t>(pos), SEEK_SET) < 0) Fail("cannot seek in " + target_, errno);
}

void StagedOutput::WriteAt(int64_t offset, const void* buf, std::size_t n) {
  if (offset < 0 || offset + static_cast<int64_t>(n) > written_) throw IoError("no such bytes in " + target_);
  const auto* p = static_cast<const char*>(buf);
  while (n > 0) {
    const ssize_t put = ::pwrite(fd_, p, n, static_cast<off_t>(offset));
    if (put < 0) {
      if (errno == EINTR) continue;
      Fail("cannot write " + (target_.empty() ? staging_ : target_), errno);
    }
    p += put;
    n -= static_cast<std::size_t>(put);
    offset += put;
  }
}

void StagedOutput::Commit(bool replace) {
  if (fd_ < 0 || target_.empty()) throw IoError("no output open for " + target_);
  bool replacing = false;
  try {
    if (hook_) hook_(written_, 0);
    replacing = replace && Occupied(target_);
    if (replacing && ::fdatasync(fd_) != 0) Fail("cannot write " + target_, errno);
    if (::fchmod(fd_, mode_) != 0) Fail("cannot set the permissions of " + target_, errno);
    const int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0) Fail("cannot write " + target_, errno);
    RenameInto(staging_, target_, replace);
  } catch (...) {
    Abandon();
    throw;
  }
  staging_.clear();
  if (replacing) SyncFolder(FolderOf(target_));
}

std::string StagedOutput::Keep() {
  if (fd_ < 0 || !target_.empty()) throw IoError("no temporary file open");
  try {
    if (hook_) hook_(written_, 0);
    const int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0) Fail("cannot write " + staging_, errno);
  } catch (...) {
    Abandon();
    throw;
  }
  return std::exchange(staging_, std::string());
}

void StagedOutput::Abandon() noexcept {
  if (fd_ >= 0) ::close(std::exchange(fd_, -1));
  if (!staging_.empty()) ::unlink(std::exchange(staging_, std::string()).c_str());
}

}  // namespace vesk
