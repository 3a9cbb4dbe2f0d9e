#include "shred/shredder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/file_io.h"
#include "platform/page_cache_write.h"

namespace vesk::shred {

namespace {

// The file refused before anything was written.
class Refused : public IoError {
 public:
  Refused() : IoError("refused") {}
};

// A descriptor that is closed when it goes out of scope (close errors are
// only noticed through Close).
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  int get() const { return fd_; }
  // False when the close reported an error.
  bool Close() { return fd_ < 0 || ::close(std::exchange(fd_, -1)) == 0; }

 private:
  int fd_ = -1;
};

struct Identity {
  dev_t dev = 0;
  ino_t ino = 0;
  bool operator==(const Identity&) const = default;
};

Identity IdentityOf(const struct stat& st) { return {st.st_dev, st.st_ino}; }

// True while something at `path` (not followed if it is a link) is the file `id`.
bool StillAt(const std::string& path, const Identity& id) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && IdentityOf(st) == id;
}

// A file its owner has made read-only. Checked on the mode bits, because
// the superuser passes every access test and would otherwise overwrite it.
bool ReadOnly(const struct stat& st) { return (st.st_mode & S_IWUSR) == 0; }

struct Victim {
  Fd fd;
  Identity id;
  int64_t size = 0;
};

// Record locks (fcntl and lockf, as databases take them) are apart from
// flock's: a file is refused when another process holds one on any part of
// it. A write lock over the whole file, owned by this open file, finds them
// and keeps new ones out while the zeros are written; it goes with the
// descriptor. False when another process holds such a lock.
bool TakeRecordLock(int fd) {
  struct flock whole {};
  whole.l_type = F_WRLCK;
  whole.l_whence = SEEK_SET;
  whole.l_start = 0;
  whole.l_len = 0;  // to the end, however long the file becomes
  if (::fcntl(fd, F_OFD_SETLK, &whole) == 0) return true;
  if (errno == EAGAIN || errno == EACCES) return false;
  // A kernel or file system without such locks: ask for a conflicting
  // process lock instead. Where no record locks exist at all (ENOLCK),
  // nobody can hold one.
  whole = {};
  whole.l_type = F_WRLCK;
  whole.l_whence = SEEK_SET;
  if (::fcntl(fd, F_GETLK, &whole) != 0) return errno == ENOLCK;
  return whole.l_type == F_UNLCK;
}

// Opens the file for the overwrite, or throws Refused. The path is first
// taken without opening the file itself (O_PATH: a FIFO cannot block and a
// device is not touched) and without following a final link; only a
// writable regular file is then opened for writing, and only when it is
// still the same file. The exclusive locks keep out other shredders and
// every program that locks what it works on.
void OpenVictim(const std::string& path, Victim& v) {
  Fd probe(::open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
  struct stat st {};
  if (probe.get() < 0 || ::fstat(probe.get(), &st) != 0) throw Refused();
  if (!S_ISREG(st.st_mode) || ReadOnly(st)) throw Refused();

  Fd fd(::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  struct stat opened {};
  if (fd.get() < 0 || ::fstat(fd.get(), &opened) != 0) throw Refused();
  if (!S_ISREG(opened.st_mode) || IdentityOf(opened) != IdentityOf(st)) throw Refused();
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0 || !TakeRecordLock(fd.get())) throw Refused();

  v.id = IdentityOf(opened);
  v.size = static_cast<int64_t>(opened.st_size);
  v.fd = std::move(fd);
}

void WriteAt(int fd, const uint8_t* p, std::size_t n, int64_t offset) {
  if (const int error = WriteWholeAt(fd, p, n, offset); error != 0) {
    throw IoError(std::string("cannot write: ") + std::strerror(error));
  }
}

// A block of 65,535 bytes ends inside a page, and the kernel must read that
// page from the disk before it can take a write that covers only part of
// it. Done one block at a time, those small reads wait one after the other
// and, for a file that is not in memory, take longer than the writes
// themselves; asked for well ahead, they overlap. Only the pages where
// blocks end are read, never the file as a whole.
class BoundaryReadahead {
 public:
  // For the blocks written from `start` on, up to `end`.
  BoundaryReadahead(int fd, int64_t start, int64_t end)
      : fd_(fd), end_(end), page_(::sysconf(_SC_PAGESIZE)), next_end_(start + static_cast<int64_t>(kZeroBlockSize)) {
    if (page_ <= 0) page_ = 4096;
  }
  // Called before the block at `offset` is written.
  void Before(int64_t offset) {
    const int64_t horizon = std::min(end_, offset + kAhead * static_cast<int64_t>(kZeroBlockSize));
    while (next_end_ < horizon) {
      if (next_end_ % page_ != 0) {
        ::posix_fadvise(fd_, static_cast<off_t>(next_end_ - next_end_ % page_), static_cast<off_t>(page_),
                        POSIX_FADV_WILLNEED);
      }
      next_end_ += static_cast<int64_t>(kZeroBlockSize);
    }
  }

 private:
  static constexpr int64_t kAhead = 128;  // blocks, about 8 MiB
  int fd_;
  int64_t end_;
  int64_t page_;
  int64_t next_end_;  // end of the next block not yet asked for
};

// A stretch of the file that holds data: [start, end).
struct Extent {
  int64_t start = 0;
  int64_t end = 0;
};

// The stretches of the first `length` bytes of the file that hold data, in
// order. A hole has no blocks on the disk and reads as zeros: there is
// nothing to overwrite, and a write into it would take new blocks (of a
// sparse file, far more than the disk may have). A file system that cannot
// tell holes from data has the whole rest counted as data.
std::vector<Extent> DataExtents(int fd, int64_t length) {
  std::vector<Extent> extents;
  int64_t at = 0;
  while (at < length) {
    const off_t data = ::lseek(fd, static_cast<off_t>(at), SEEK_DATA);
    if (data < 0) {
      if (errno != ENXIO) extents.push_back({at, length});  // ENXIO: only a hole from here on
      break;
    }
    if (data >= length) break;
    const off_t hole = ::lseek(fd, data, SEEK_HOLE);
    const int64_t end = hole < 0 ? length : std::min<int64_t>(hole, length);
    if (end <= data) {  // no progress: take the rest as data
      extents.push_back({data, length});
      break;
    }
    extents.push_back({data, end});
    at = end;
  }
  return extents;
}

// The name of a file that was overwritten and deleted could not be cleared;
// `disk_full` tells why.
class NameNotCleared : public IoError {
 public:
  explicit NameNotCleared(bool disk_full) : IoError("name not cleared"), disk_full(disk_full) {}
  bool disk_full;
};

bool DiskFull(int error) { return error == ENOSPC || error == EDQUOT; }

void Call(const std::function<void()>& fn) {
  if (fn) fn();
}

// True when nothing is at `path` any more.
bool DeleteIfExists(const std::string& path) { return !PathExists(path) || DeleteFile(path); }

// The one-zero-byte file made under the old name, then deleted again; what
// another program put there meanwhile is never deleted. The marker never
// stays behind: when it cannot be written whole (a full disk), it is deleted
// at once and NameNotCleared thrown.
void WriteAndDeleteMarker(const std::string& path) {
  Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (fd.get() < 0) throw NameNotCleared(DiskFull(errno));
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) {
    // Not known to be ours: left alone rather than deleted blindly.
    throw NameNotCleared(DiskFull(errno));
  }
  int error = 0;
  const uint8_t zero = 0;
  ssize_t put = -1;
  do {
    put = ::pwrite(fd.get(), &zero, 1, 0);
  } while (put < 0 && errno == EINTR);
  if (put != 1) error = put < 0 ? errno : ENOSPC;
  if (!fd.Close() && error == 0) error = errno;
  const bool ours = StillAt(path, IdentityOf(st));
  const bool deleted = ours && DeleteIfExists(path);
  if (error != 0) throw NameNotCleared(DiskFull(error));
  if (ours && !deleted) throw NameNotCleared(false);
}

}  // namespace

bool IsCopyOnWriteFileSystem(uint64_t fs_type) {
  switch (static_cast<uint32_t>(fs_type)) {
    case 0x9123683Eu:  // btrfs
    case 0x2FC12FC1u:  // ZFS
    case 0xCA451A4Eu:  // bcachefs
      return true;
    default:
      return false;
  }
}

Reach ReachOf(const std::string& path) {
  Reach reach;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return reach;
  reach.links = st.st_nlink;
  struct statfs fs {};
  if (::statfs(path.c_str(), &fs) == 0) reach.copy_on_write = IsCopyOnWriteFileSystem(static_cast<uint64_t>(fs.f_type));
  return reach;
}

std::string Confirmation(const std::string& path, const Reach& reach) {
  std::string question = text::Question(path);
  if (reach.copy_on_write) question += std::string("\n") + text::kCopyOnWriteLine;
  if (reach.links > 1) question += "\n" + text::OtherNamesLine(reach.links);
  return question;
}

RunResult ShredFile(const ShredJob& job, RunContext& context) {
  Progress& progress = context.progress;
  Prompter& prompter = context.prompter;
  const StopToken& stop = context.stop;
  const std::string& path = job.path;
  const auto ended = [&](Outcome outcome, Reason code, const std::string& text) {
    if (!text.empty()) prompter.ReportMessage(text);
    return RunResult::Ended(outcome, code, text);
  };

  if (!prompter.AskYesNo(Confirmation(path, ReachOf(path)), text::kQuestionCaption)) {
    return ended(Outcome::kCancelled, Reason::kCancelled, text::Cancelled(path));
  }

  Victim victim;
  try {
    OpenVictim(path, victim);
  } catch (...) {
    return ended(Outcome::kRefused, Reason::kNoSource, text::kCannotOpen);
  }

  bool failed = false;
  // Once every byte is zeroed the file is destroyed already: a stop that
  // comes after the last block still gets it flushed and deleted.
  bool zeroed = false;
  try {
    const std::vector<uint8_t> zeros(kZeroBlockSize, 0);
    const std::vector<Extent> extents = DataExtents(victim.fd.get(), victim.size);
    int64_t total = 0;
    for (const Extent& e : extents) total += e.end - e.start;
    progress.ProgressStart(total);
    progress.SetBarPosition(0);
    progress.ShowHint(Hint::Output, text::ProgressHint(path));
    progress.ShowStatus(text::kRunning);
    Call(job.overwriting);

    // Whatever was made from this file before (its encrypted copy, say) may
    // still be on its way to the disk; it gets there before the original is
    // destroyed, so a power cut cannot take both.
    if (::syncfs(victim.fd.get()) != 0) throw IoError(std::string("cannot flush: ") + std::strerror(errno));

    // Every stretch that holds data is overwritten where it lies, block by
    // block from its start; the holes between them stay holes.
    int64_t done = 0;
    for (const Extent& extent : extents) {
      BoundaryReadahead readahead(victim.fd.get(), extent.start, extent.end);
      for (int64_t at = extent.start; stop.KeepGoing() && at < extent.end;) {
        const auto n = static_cast<std::size_t>(std::min<int64_t>(extent.end - at, kZeroBlockSize));
        readahead.Before(at);
        if (job.faults.before_write) job.faults.before_write(at, n);
        WriteAt(victim.fd.get(), zeros.data(), n, at);
        at += static_cast<int64_t>(n);
        done += static_cast<int64_t>(n);
        progress.ProgressStep(done, static_cast<int64_t>(n));
      }
    }
    zeroed = total > 0 && done == total;
    // The zeros go to the device before the name goes: the pages of a
    // deleted file need never be written back, which would leave the old
    // data on the disk.
    if (zeroed || stop.KeepGoing()) {
      if (job.faults.before_write) job.faults.before_write(done, 0);
      if (::fdatasync(victim.fd.get()) != 0) throw IoError(std::string("cannot flush: ") + std::strerror(errno));
      progress.ProgressComplete();
    }
  } catch (...) {
    failed = true;
  }
  // The zeros are on the device already (fdatasync); a close that reports an
  // error changes nothing of that.
  victim.fd.Close();
  if (failed) return ended(Outcome::kFailed, Reason::kIo, text::kFailed);
  const bool stopped = stop.StopRequested();
  if (stopped && !zeroed) return RunResult::Ended(Outcome::kCancelled, Reason::kCancelled);

  try {
    // Only the file that was overwritten is deleted, never what another
    // program has put under its name meanwhile.
    if (!StillAt(path, victim.id) || !DeleteIfExists(path)) return ended(Outcome::kFailed, Reason::kIo, text::kFailed);
    WriteAndDeleteMarker(path);
    prompter.ReportMessage(stopped ? text::DoneAfterStop(path) : text::Done(path));
    return RunResult::Done({});
  } catch (const NameNotCleared& e) {
    // The data is gone and so is the file; only its name may still be read
    // from the folder. That is said as it is, not as a file in use.
    return ended(Outcome::kFailed, e.disk_full ? Reason::kNoSpace : Reason::kIo, text::NameNotCleared(path, e.disk_full));
  } catch (...) {
    return ended(Outcome::kFailed, Reason::kIo, text::kCannotOpen);
  }
}

}  // namespace vesk::shred
