#include "platform/staged_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <random>
#include <map>
#include <utility>
#include <vector>

#include "platform/kernel_copy.h"
#include "platform/page_cache_write.h"
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

std::atomic<bool> named_staging_only{false};

// Unnamed files handed over by StagedOutput::Keep: the link to each one's
// /proc/self/fd entry, and its descriptor, until ReleaseUnnamed closes it.
std::mutex kept_mutex;
std::map<std::string, int>& KeptUnnamed() {
  static std::map<std::string, int> kept;
  return kept;
}

constexpr std::string_view kStagingPrefix = ".vesk-";
constexpr std::string_view kStagingSuffix = ".part";
constexpr std::string_view kOwnFdFolder = "/proc/self/fd/";

// The name prefix of staging files this process gives names to:
// ".vesk-<pid>-", so that a later run can tell whether their owner still lives.
std::string OwnNamePrefix(std::string_view prefix) {
  return std::string(prefix) + std::to_string(::getpid()) + "-";
}

// A new file in `folder` that has no name: the kernel frees it when its last
// descriptor closes, after a crash too. -1 when the file system (or the
// kernel) has no such files; other failures throw.
int OpenUnnamed(const std::string& folder) {
  if (named_staging_only) return -1;
  const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
  if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) return -1;
  Fail("cannot create a temporary file in " + folder, errno);
}

// Gives the unnamed file `fd` the name `path`; false when the name is taken.
bool LinkUnnamed(int fd, const std::string& path) {
  const std::string own = std::string(kOwnFdFolder) + std::to_string(fd);
  if (::linkat(AT_FDCWD, own.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
  int error = errno;
  if (error == ENOENT && ::access(own.c_str(), F_OK) != 0) {
    // No /proc: the descriptor itself, which needs more privilege.
    if (::linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0) return true;
    error = errno;
  }
  if (error == EEXIST) return false;
  Fail("cannot link " + path, error);
}

// Makes "<folder><prefix><pid>-XXXXXX<suffix>" with `make` (false: the name
// is taken, try another) and returns the name.
template <typename Make>
std::string FreshName(const std::string& folder, std::string_view prefix, std::string_view suffix, Make make) {
  static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device random;
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
  for (;;) {
    std::string name = folder + OwnNamePrefix(prefix);
    for (int i = 0; i < 6; ++i) name += kLetters[pick(random)];
    name += suffix;
    if (make(name)) return name;
  }
}

// The process id in a staging name "<prefix><pid>-XXXXXX<suffix>", or 0.
pid_t OwnerOfStagingName(std::string_view name, std::string_view prefix, std::string_view suffix) {
  if (name.size() <= prefix.size() + suffix.size() + 7 || name.substr(0, prefix.size()) != prefix ||
      name.substr(name.size() - suffix.size()) != suffix) {
    return 0;
  }
  const std::string_view middle = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
  if (middle.size() < 8 || middle[middle.size() - 7] != '-') return 0;
  const std::string_view digits = middle.substr(0, middle.size() - 7);
  if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string_view::npos) {
    return 0;
  }
  return static_cast<pid_t>(std::stol(std::string(digits)));
}

bool ProcessGone(pid_t pid) { return pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH; }

// Makes a rename in `folder` survive a power cut; best effort.
void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// The bits a commit gives `target`: `mode`, except that a file it replaces
// never becomes readable or writable by more people than before.
mode_t ModeOverTarget(mode_t mode, const std::string& target) {
  struct stat st {};
  if (::lstat(target.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return mode;
  return mode & (st.st_mode | S_IRWXU | S_ISUID | S_ISGID | S_ISVTX);
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
  if ((replacing && ::fdatasync(fd) != 0) || ::fchmod(fd, replacing ? ModeOverTarget(mode, target) : mode) != 0) {
    const int error = errno;
    ::close(fd);
    Fail("cannot complete " + staging, error);
  }
  if (::close(fd) != 0) Fail("cannot complete " + staging, errno);
  RenameInto(staging, target, replace);
  if (replacing) SyncFolder(FolderOf(target));
}

void RemoveStaleStaging(const std::string& folder, std::string_view prefix, std::string_view suffix) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  const int dir_fd = ::dirfd(dir);
  while (const dirent* entry = ::readdir(dir)) {
    const pid_t owner = OwnerOfStagingName(entry->d_name, prefix, suffix);
    if (owner <= 0 || !ProcessGone(owner)) continue;
    struct stat st {};
    if (::fstatat(dir_fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || st.st_uid != ::geteuid()) continue;
    if (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)) ::unlinkat(dir_fd, entry->d_name, 0);
  }
  ::closedir(dir);
}

std::string StagingNamePrefix(std::string_view prefix) { return OwnNamePrefix(prefix); }

bool StagingNameOfGoneProcess(std::string_view name, std::string_view prefix, std::string_view suffix) {
  const pid_t owner = OwnerOfStagingName(name, prefix, suffix);
  return owner > 0 && ProcessGone(owner);
}

void SetNamedStagingForTests(bool named) { named_staging_only = named; }

bool ReleaseUnnamed(const std::string& path) {
  int fd = -1;
  {
    std::lock_guard lock(kept_mutex);
    const auto found = KeptUnnamed().find(path);
    if (found == KeptUnnamed().end()) return false;
    fd = found->second;
    KeptUnnamed().erase(found);
  }
  ::unlink(path.c_str());
  ::close(fd);
  return true;
}

StagedOutput::~StagedOutput() { Abandon(); }

StagedOutput::StagedOutput(StagedOutput&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      unnamed_(other.unnamed_),
      folder_(std::move(other.folder_)),
      prefix_(std::move(other.prefix_)),
      suffix_(std::move(other.suffix_)),
      target_(std::move(other.target_)),
      staging_(std::exchange(other.staging_, std::string())),
      mode_(other.mode_),
      written_(other.written_),
      writeback_from_(other.writeback_from_),
      reserved_(other.reserved_),
      writeback_(other.writeback_),
      writer_(other.writer_),
      hook_(std::move(other.hook_)) {}

StagedOutput& StagedOutput::operator=(StagedOutput&& other) noexcept {
  if (this != &other) {
    Abandon();
    fd_ = std::exchange(other.fd_, -1);
    unnamed_ = other.unnamed_;
    folder_ = std::move(other.folder_);
    prefix_ = std::move(other.prefix_);
    suffix_ = std::move(other.suffix_);
    target_ = std::move(other.target_);
    staging_ = std::exchange(other.staging_, std::string());
    mode_ = other.mode_;
    written_ = other.written_;
    writeback_from_ = other.writeback_from_;
    writeback_ = other.writeback_;
    reserved_ = other.reserved_;
    writer_ = other.writer_;
    hook_ = std::move(other.hook_);
  }
  return *this;
}

void StagedOutput::Open(const std::string& target, mode_t mode) {
  Abandon();
  target_ = target;
  mode_ = mode;
  written_ = 0;
  reserved_ = 0;
  writer_ = {};
  writeback_from_ = 0;
  OpenIn(FolderOf(target), kStagingPrefix, kStagingSuffix);
  writeback_ = Occupied(target);
}

void StagedOutput::OpenIn(const std::string& folder, std::string_view prefix, std::string_view suffix) {
  folder_ = folder;
  prefix_ = prefix;
  suffix_ = suffix;
  fd_ = OpenUnnamed(folder);
  unnamed_ = fd_ >= 0;
  if (unnamed_) return;
  // Staging under a name: the names this user's crashed runs left here go
  // first, then this run's carries its process id for the runs after it.
  RemoveStaleStaging(folder, prefix, suffix);
  fd_ = CreateUnique(folder, OwnNamePrefix(prefix), suffix, staging_);
}

void StagedOutput::OpenTemporary(const std::string& folder, std::string_view prefix, std::string_view suffix) {
  Abandon();
  target_.clear();
  mode_ = 0600;
  written_ = 0;
  reserved_ = 0;
  writer_ = {};
  writeback_ = false;
  writeback_from_ = 0;
  // Links left by runs that crashed holding a temporary file lead nowhere.
  RemoveStaleStaging(folder, prefix, suffix);
  OpenIn(folder, prefix, suffix);
}

void StagedOutput::Write(const void* buf, std::size_t n) {
  if (n == 0) return;
  if (hook_) hook_(written_, n);
  if (const int error = writer_.Write(fd_, buf, n, written_, &written_); error != 0) {
    Fail("cannot write " + (target_.empty() ? staging_ : target_), error);
  }
  StartWriteback();
}

// Pages and file system blocks: whole ones are what the kernel moves or
// shares between files.
constexpr std::size_t kBlock = 4096;

void StagedOutput::CopyFrom(InputFile& in, std::size_t n) {
  loff_t from = in.Position();
  const off_t to = ::lseek(fd_, 0, SEEK_CUR);
  // A test's hooks see every read and write, as the buffer makes them.
  if (to < 0 || in.HasReadHook() || hook_) {
    CopyThroughBuffer(in, n, to < 0 ? 0 : to);
    return;
  }
  if ((from - to) % static_cast<int64_t>(kBlock) == 0 && KernelSharesCopies(fd_)) {
    CopyInKernel(in, from, n);
    return;
  }
  // Elsewhere a splice through a large pipe (kernel_copy.h), with a copy
  // through a buffer for what it leaves.
  const SpliceResult spliced = SpliceCopy(in.Descriptor(), &from, fd_, n);
  written_ += static_cast<int64_t>(spliced.copied);
  StartWriteback();
  if (spliced.error != 0) Fail("cannot write " + target_, spliced.error);
  in.Seek(from);
  if (spliced.copied < n) CopyThroughBuffer(in, n - spliced.copied, to + static_cast<int64_t>(spliced.copied));
}

void StagedOutput::CopyInKernel(InputFile& in, loff_t from, std::size_t n) {
  while (n > 0) {
    // Extents are shared from a block boundary on only (the kernel copies a
    // whole call's bytes otherwise): a copy that starts inside a block first
    // copies up to the boundary.
    const auto into_block = static_cast<std::size_t>(static_cast<uint64_t>(from) % kBlock);
    const std::size_t ask = into_block == 0 ? n : std::min(n, kBlock - into_block);
    const ssize_t put = ::copy_file_range(in.Descriptor(), &from, fd_, nullptr, ask, 0);
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
    CopyThroughBuffer(in, n, ::lseek(fd_, 0, SEEK_CUR));
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

void StagedOutput::Reserve(int64_t bytes) noexcept {
  if (fd_ >= 0 && bytes > reserved_ && ReserveRoom(fd_, bytes)) reserved_ = bytes;
}

void StagedOutput::Seek(int64_t pos) {
  if (::lseek(fd_, static_cast<off_t>(pos), SEEK_SET) < 0) Fail("cannot seek in " + target_, errno);
}

void StagedOutput::WriteAt(int64_t offset, const void* buf, std::size_t n) {
  if (offset < 0 || offset + static_cast<int64_t>(n) > written_) throw IoError("no such bytes in " + target_);
  if (const int error = WriteWholeAt(fd_, buf, n, offset); error != 0) {
    Fail("cannot write " + (target_.empty() ? staging_ : target_), error);
  }
}

void StagedOutput::Commit(bool replace) {
  if (fd_ < 0 || target_.empty()) throw IoError("no output open for " + target_);
  bool replacing = false;
  try {
    if (hook_) hook_(written_, 0);
    GiveBackRoom(fd_, std::exchange(reserved_, 0));
    replacing = replace && Occupied(target_);
    if (replacing && ::fdatasync(fd_) != 0) Fail("cannot write " + target_, errno);
    const mode_t mode = replacing ? ModeOverTarget(mode_, target_) : mode_;
    if (::fchmod(fd_, mode) != 0) Fail("cannot set the permissions of " + target_, errno);
    if (unnamed_) {
      LinkIntoPlace(replace);
    } else {
      const int fd = std::exchange(fd_, -1);
      if (::close(fd) != 0) Fail("cannot write " + target_, errno);
      RenameInto(staging_, target_, replace);
    }
  } catch (...) {
    Abandon();
    throw;
  }
  staging_.clear();
  if (replacing) SyncFolder(FolderOf(target_));
}

void StagedOutput::LinkIntoPlace(bool replace) {
  // The data is checked by close only after the link: a link can be undone,
  // a close cannot be repeated.
  if (!replace) {
    if (!LinkUnnamed(fd_, target_)) throw TargetExistsError(target_ + " exists");
    staging_ = target_;
  } else {
    // A link never replaces anything: the file gets a fresh name beside the
    // target, renamed over it.
    staging_ = FreshName(FolderOf(target_), kStagingPrefix, kStagingSuffix,
                         [this](const std::string& name) { return LinkUnnamed(fd_, name); });
    if (::rename(staging_.c_str(), target_.c_str()) != 0) Fail("cannot rename to " + target_, errno);
    staging_ = target_;
  }
  const int fd = std::exchange(fd_, -1);
  if (::close(fd) != 0) {
    const int error = errno;
    ::unlink(target_.c_str());
    staging_.clear();
    Fail("cannot write " + target_, error);
  }
}

std::string StagedOutput::Keep() {
  if (fd_ < 0 || !target_.empty()) throw IoError("no temporary file open");
  try {
    if (hook_) hook_(written_, 0);
    GiveBackRoom(fd_, std::exchange(reserved_, 0));
    if (unnamed_) {
      // The file stays open and nameless until the caller deletes the path
      // it is given: a symbolic link to this process's own descriptor, which
      // leads nowhere else and holds nothing after a crash.
      const std::string own = std::string(kOwnFdFolder) + std::to_string(fd_);
      const std::string link = FreshName(folder_, prefix_, suffix_, [&](const std::string& name) {
        if (::symlink(own.c_str(), name.c_str()) == 0) return true;
        if (errno != EEXIST) Fail("cannot create a temporary file in " + folder_, errno);
        return false;
      });
      std::lock_guard lock(kept_mutex);
      KeptUnnamed().emplace(link, std::exchange(fd_, -1));
      return link;
    }
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
