#include "platform/file_io.h"

#include <sys/statvfs.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/staged_file.h"

namespace vesk {

void ThrowIoError(const std::string& what) { throw IoError(what + ": " + std::strerror(errno)); }

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool PathExists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

bool LowOnSpace(const std::string& folder) {
  constexpr uint64_t kLowSpace = uint64_t{4} << 20;
  struct statvfs fs {};
  if (::statvfs(folder.c_str(), &fs) != 0) return false;
  return static_cast<uint64_t>(fs.f_bavail) * fs.f_frsize < kLowSpace;
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool DeleteFile(const std::string& path) { return ReleaseUnnamed(path) || ::unlink(path.c_str()) == 0; }

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

}  // namespace vesk
