#include "crypto/age/io.h"

#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace vesk::age {

const char* StatusName(Status status) {
  switch (status) {
    case Status::kOk: return "ok";
    case Status::kWrongPassphrase: return "wrong-passphrase";
    case Status::kPassphraseRequired: return "passphrase-required";
    case Status::kNoMatchingIdentity: return "no-matching-identity";
    case Status::kWorkFactorTooHigh: return "work-factor-too-high";
    case Status::kUnsupportedVersion: return "unsupported-version";
    case Status::kHeaderInvalid: return "header-invalid";
    case Status::kHeaderTooLarge: return "header-too-large";
    case Status::kArmorInvalid: return "armor-invalid";
    case Status::kDamaged: return "damaged";
    case Status::kTruncated: return "truncated";
    case Status::kIoError: return "io-error";
    case Status::kCancelled: return "cancelled";
    case Status::kInvalidArgument: return "invalid-argument";
    case Status::kBadKey: return "bad-key";
    case Status::kInternalError: return "internal-error";
    case Status::kMixedRecipients: return "mixed-recipients";
    case Status::kKeyLocked: return "key-locked";
  }
  return "unknown";
}

namespace {

// The processor time this thread has used, in seconds.
double ThreadSeconds() {
  timespec t {};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

}  // namespace

long FdSource::Read(uint8_t* buf, std::size_t n) {
  for (;;) {
    const ssize_t got = ::read(fd_, buf, n);
    if (got >= 0) {
      bytes_read_ += static_cast<uint64_t>(got);
      return static_cast<long>(got);
    }
    if (errno != EINTR) return Fail(Status::kIoError, std::string("read failed: ") + std::strerror(errno));
  }
}

bool FdSink::Write(const uint8_t* data, std::size_t n) {
  // A regular file is written as it comes until one large write uses more
  // processor time than 1 GiB/s allows, then in pieces of 32 KiB that end at
  // its multiples of 32 KiB: the kernel gives a write page-cache memory in
  // blocks as large as the write, and right after other programs' large
  // writes the blocks above 32 KiB cost compactions or host faults (1 GiB in
  // writes of 1 MiB: 3.9 to 7.2 s, in 32 KiB 0.3 to 0.7 s), while otherwise
  // the large writes are cheaper, for the writeback too. A write that only
  // waits for the disk uses no processor time. Pipes and devices take every
  // write whole.
  constexpr std::size_t kPiece = std::size_t{32} << 10;
  constexpr std::size_t kTimed = std::size_t{256} << 10;
  constexpr double kSlowRate = 1024.0 * (1 << 20);  // bytes per second of processor time
  if (at_ < 0 && !whole_) {
    struct stat st {};
    const bool regular = ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
    const off_t at = regular ? ::lseek(fd_, 0, SEEK_CUR) : -1;
    if (at < 0) {
      whole_ = true;
    } else {
      at_ = at;
    }
  }
  const std::size_t total = n;
  const bool timed = !whole_ && !pieces_ && n >= kTimed;
  const std::size_t piece = whole_ || timed ? SIZE_MAX : kPiece;
  const double start = timed ? ThreadSeconds() : 0;
  std::size_t next = piece == SIZE_MAX ? SIZE_MAX : kPiece - static_cast<std::size_t>(at_ % kPiece);
  while (n > 0) {
    const ssize_t put = ::write(fd_, data, std::min(n, next));
    if (put < 0) {
      if (errno == EINTR) continue;
      return Fail(Status::kIoError, std::string("write failed: ") + std::strerror(errno));
    }
    if (put == 0) return Fail(Status::kIoError, "write failed: no progress");
    data += put;
    n -= static_cast<std::size_t>(put);
    if (!whole_) at_ += put;
    if (next != SIZE_MAX) {
      next = next > static_cast<std::size_t>(put) ? next - static_cast<std::size_t>(put) : kPiece;
    }
  }
  if (timed) {
    ++timed_;
    if (static_cast<double>(total) < kSlowRate * (ThreadSeconds() - start)) ++slow_;
    // A few, not one: an interrupt now and then makes a single write slow.
    pieces_ = slow_ >= 8 && 4 * slow_ > timed_;
  }
  return true;
}

long MemorySource::Read(uint8_t* buf, std::size_t n) {
  const std::size_t k = std::min(n, data_.size() - at_);
  if (k > 0) std::memcpy(buf, data_.data() + at_, k);
  at_ += k;
  return static_cast<long>(k);
}

long CallbackSource::Read(uint8_t* buf, std::size_t n) {
  const long got = read_(buf, n);
  if (got < 0 || static_cast<std::size_t>(got) > n) return Fail(Status::kIoError, "reading the input failed");
  return got;
}

bool CallbackSink::Write(const uint8_t* data, std::size_t n) {
  return write_(data, n) || Fail(Status::kIoError, "writing the output failed");
}

BufferedReader::BufferedReader(Source& source, std::size_t buffer_size)
    : source_(source), buf_(std::max<std::size_t>(buffer_size, 4096)) {}

bool BufferedReader::Fill(std::size_t want) {
  if (failed_) return false;
  while (end_ - begin_ < want && !eof_) {
    if (begin_ > 0 && (buf_.size() - end_ < want - (end_ - begin_))) {
      std::memmove(buf_.data(), buf_.data() + begin_, end_ - begin_);
      end_ -= begin_;
      begin_ = 0;
    }
    if (buf_.size() - begin_ < want) buf_.resize(begin_ + want);
    const long got = source_.Read(buf_.data() + end_, buf_.size() - end_);
    if (got < 0) {
      failed_ = true;
      return false;
    }
    if (got == 0) eof_ = true;
    end_ += static_cast<std::size_t>(got);
  }
  return true;
}

std::span<const uint8_t> BufferedReader::Peek(std::size_t n) {
  if (!Fill(n)) return {};
  return {buf_.data() + begin_, std::min(n, end_ - begin_)};
}

void BufferedReader::Consume(std::size_t n) {
  n = std::min(n, end_ - begin_);
  begin_ += n;
  position_ += n;
}

long BufferedReader::ReadFull(uint8_t* out, std::size_t n) {
  if (failed_) return -1;
  std::size_t done = std::min(n, end_ - begin_);
  if (done > 0) std::memcpy(out, buf_.data() + begin_, done);
  begin_ += done;
  while (done < n && !eof_) {
    const long got = source_.Read(out + done, n - done);
    if (got < 0) {
      failed_ = true;
      return -1;
    }
    if (got == 0) eof_ = true;
    done += static_cast<std::size_t>(got);
  }
  position_ += done;
  return static_cast<long>(done);
}

bool BufferedReader::AtEnd() {
  if (!Fill(1)) return false;
  return end_ == begin_;
}

BufferedReader::LineStatus BufferedReader::ReadLine(std::string& line, std::size_t max) {
  line.clear();
  std::size_t scanned = 0;
  for (;;) {
    const std::size_t have = end_ - begin_;
    const auto* start = buf_.data() + begin_;
    const std::size_t limit = std::min(have, max);
    const void* nl = scanned < limit ? std::memchr(start + scanned, '\n', limit - scanned) : nullptr;
    if (nl != nullptr) {
      const std::size_t len = static_cast<std::size_t>(static_cast<const uint8_t*>(nl) - start) + 1;
      line.assign(reinterpret_cast<const char*>(start), len);
      begin_ += len;
      position_ += len;
      return LineStatus::kLine;
    }
    scanned = limit;
    if (have >= max) return LineStatus::kTooLong;
    if (eof_) {
      line.assign(reinterpret_cast<const char*>(start), have);
      begin_ = end_;
      position_ += have;
      return LineStatus::kEnd;
    }
    if (!Fill(have + 1)) return LineStatus::kFailed;
  }
}

}  // namespace vesk::age
