#include "crypto/age/io.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/page_cache_write.h"

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
  // A regular file through the page-cache writer (page_cache_write.h), at
  // its own position; pipes and devices take every write whole.
  if (at_ < 0 && !whole_) {
    const off_t at = IsRegularFile(fd_) ? ::lseek(fd_, 0, SEEK_CUR) : -1;
    if (at < 0) {
      whole_ = true;
    } else {
      at_ = at;
    }
  }
  const int error = whole_     ? WriteWhole(fd_, data, n)
                    : pieces_ ? WriteInPieces(fd_, data, n, at_, &at_)
                              : writer_.Write(fd_, data, n, at_, &at_);
  if (error != 0) return Fail(Status::kIoError, std::string("write failed: ") + std::strerror(error));
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
