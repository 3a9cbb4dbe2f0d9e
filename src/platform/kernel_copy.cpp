#include "platform/kernel_copy.h"

#include <fcntl.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <iterator>

namespace vesk {
namespace {

constexpr int kPipeSize = 1 << 20;  // the most an ordinary user may ask for

std::atomic<bool> every_file_system_shares{false};

// Errors that mean "not between these files", not "the output failed".
bool Unsupported(int error) { return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == EXDEV; }

class Pipe {
 public:
  Pipe() {
    if (::pipe2(fds_, O_CLOEXEC) != 0) {
      fds_[0] = fds_[1] = -1;
      return;
    }
    // A smaller pipe (the system's limit) only means more calls.
    const int size = ::fcntl(fds_[1], F_SETPIPE_SZ, kPipeSize);
    capacity_ = size > 0 ? static_cast<std::size_t>(size) : 65536;
  }
  ~Pipe() {
    if (fds_[0] >= 0) ::close(fds_[0]);
    if (fds_[1] >= 0) ::close(fds_[1]);
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;

  bool Ok() const { return fds_[0] >= 0; }
  int Read() const { return fds_[0]; }
  int Write() const { return fds_[1]; }
  std::size_t Capacity() const { return capacity_; }

 private:
  int fds_[2];
  std::size_t capacity_ = 0;
};

}  // namespace

SpliceResult SpliceCopy(int in_fd, loff_t* from, int out_fd, std::size_t n) {
  SpliceResult result;
  Pipe pipe;
  if (!pipe.Ok()) return result;
  while (result.copied < n) {
    const std::size_t want = std::min(n - result.copied, pipe.Capacity());
    loff_t at = *from;
    const ssize_t got = ::splice(in_fd, &at, pipe.Write(), nullptr, want, SPLICE_F_MOVE);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return result;  // the source ended, or no splicing from it
    // What is in the pipe goes to the output in full, or the copy ends there.
    std::size_t left = static_cast<std::size_t>(got);
    while (left > 0) {
      const ssize_t put = ::splice(pipe.Read(), nullptr, out_fd, nullptr, left, SPLICE_F_MOVE);
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) {
        // The bytes still in the pipe are dropped; the source is read again
        // from the first of them by whoever copies the rest.
        if (put < 0 && !Unsupported(errno)) result.error = errno;
        return result;
      }
      left -= static_cast<std::size_t>(put);
      result.copied += static_cast<std::size_t>(put);
      *from += put;
    }
  }
  return result;
}

void TreatEveryFileSystemAsSharing(bool on) { every_file_system_shares = on; }

bool KernelSharesCopies(int fd) {
  if (every_file_system_shares) return true;
  struct statfs fs {};
  if (::fstatfs(fd, &fs) != 0) return false;
  // Magic numbers of <linux/magic.h> and the file systems' own headers.
  constexpr uint32_t kSharing[] = {
      0x9123683E,  // btrfs: shared extents
      0x58465342,  // xfs: shared extents
      0xCA451A4E,  // bcachefs: shared extents
      0x7461636F,  // ocfs2: shared extents
      0x6969,      // nfs: copied on the server
      0xFE534D42,  // smb2: copied on the server
      0xFF534D42,  // cifs: copied on the server
      0x00C36400,  // ceph: copied between objects
  };
  const auto type = static_cast<uint32_t>(fs.f_type);
  return std::find(std::begin(kSharing), std::end(kSharing), type) != std::end(kSharing);
}

}  // namespace vesk
