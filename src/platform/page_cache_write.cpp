#include "platform/page_cache_write.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace vesk {

int WriteInPieces(int fd, const void* buf, std::size_t n, int64_t at, int64_t* written) {
  const auto* p = static_cast<const char*>(buf);
  std::size_t piece = kPageCacheWritePiece - static_cast<std::size_t>(static_cast<uint64_t>(at) % kPageCacheWritePiece);
  while (n > 0) {
    const ssize_t put = ::write(fd, p, std::min(n, piece));
    if (put < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (put == 0) return EIO;  // a file that takes nothing would loop forever
    p += put;
    n -= static_cast<std::size_t>(put);
    piece = piece > static_cast<std::size_t>(put) ? piece - static_cast<std::size_t>(put) : kPageCacheWritePiece;
    if (written != nullptr) *written += put;
  }
  return 0;
}

bool IsRegularFile(int fd) {
  struct stat st {};
  return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace vesk
