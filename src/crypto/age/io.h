// Byte sources and sinks the streaming calls read from and write to: file
// descriptors, memory and callbacks. A source or sink that fails keeps a
// Result describing why, so that I/O errors and format errors found while
// reading (such as bad ASCII armor) reach the caller with their own status.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "crypto/age/result.h"
#include "platform/page_cache_write.h"

namespace vesk::age {

class Source {
 public:
  virtual ~Source() = default;
  // Reads up to `n` bytes into `buf`; returns how many, 0 only at the end of
  // the data, or -1 after a failure that failure() describes.
  virtual long Read(uint8_t* buf, std::size_t n) = 0;
  const Result& failure() const { return failure_; }

 protected:
  long Fail(Status status, std::string detail) {
    failure_ = Result::Fail(status, std::move(detail));
    return -1;
  }
  Result failure_;
};

class Sink {
 public:
  virtual ~Sink() = default;
  // Writes all `n` bytes or fails; false after a failure that failure() describes.
  virtual bool Write(const uint8_t* data, std::size_t n) = 0;
  const Result& failure() const { return failure_; }

 protected:
  bool Fail(Status status, std::string detail) {
    failure_ = Result::Fail(status, std::move(detail));
    return false;
  }
  Result failure_;
};

// Reads a file descriptor (retrying on EINTR) and counts the bytes read.
class FdSource : public Source {
 public:
  explicit FdSource(int fd) : fd_(fd) {}
  long Read(uint8_t* buf, std::size_t n) override;
  uint64_t bytes_read() const { return bytes_read_; }

 private:
  int fd_;
  uint64_t bytes_read_ = 0;
};

// Writes a file descriptor completely (retrying on EINTR and short writes);
// a regular file in pieces of 32 KiB once a large write has been slow.
class FdSink : public Sink {
 public:
  explicit FdSink(int fd) : fd_(fd) {}
  bool Write(const uint8_t* data, std::size_t n) override;
  // Tests: a regular file in pieces from the start.
  void SetInPieces() { pieces_ = true; }

 private:
  int fd_;
  int64_t at_ = -1;     // the file's position; -1 until looked at
  bool whole_ = false;  // not a regular file: every write whole
  bool pieces_ = false;
  PageCacheWriter writer_;
};

// Reads from a buffer the caller keeps alive.
class MemorySource : public Source {
 public:
  explicit MemorySource(std::span<const uint8_t> data) : data_(data) {}
  explicit MemorySource(std::string_view data)
      : data_(reinterpret_cast<const uint8_t*>(data.data()), data.size()) {}
  long Read(uint8_t* buf, std::size_t n) override;

 private:
  std::span<const uint8_t> data_;
  std::size_t at_ = 0;
};

// Appends to a string.
class StringSink : public Sink {
 public:
  bool Write(const uint8_t* data, std::size_t n) override {
    out.append(reinterpret_cast<const char*>(data), n);
    return true;
  }
  std::string out;
};

// Adapters for callers that bring their own reading and writing.
// The read callback returns like Source::Read (-1 for an I/O error); the
// write callback returns false for an I/O error.
class CallbackSource : public Source {
 public:
  explicit CallbackSource(std::function<long(uint8_t*, std::size_t)> read) : read_(std::move(read)) {}
  long Read(uint8_t* buf, std::size_t n) override;

 private:
  std::function<long(uint8_t*, std::size_t)> read_;
};

class CallbackSink : public Sink {
 public:
  explicit CallbackSink(std::function<bool(const uint8_t*, std::size_t)> write) : write_(std::move(write)) {}
  bool Write(const uint8_t* data, std::size_t n) override;

 private:
  std::function<bool(const uint8_t*, std::size_t)> write_;
};

// A buffered reader over a Source with the look-ahead the format needs:
// lines for the header, peeking for armor detection and the end of the
// payload, and large reads that bypass the buffer.
class BufferedReader {
 public:
  explicit BufferedReader(Source& source, std::size_t buffer_size = 64 * 1024);

  // Makes up to `n` bytes available without consuming them; returns the
  // bytes now buffered (fewer than `n` only at the end), or an empty span
  // with failed() set.
  std::span<const uint8_t> Peek(std::size_t n);
  void Consume(std::size_t n);

  // Reads exactly `n` bytes unless the data ends first; returns the count,
  // or -1 on a source failure.
  long ReadFull(uint8_t* out, std::size_t n);

  // True when no byte follows (false on a failure; check failed()).
  bool AtEnd();

  enum class LineStatus { kLine, kEnd, kTooLong, kFailed };
  // Reads one line including its '\n' into `line`. kEnd when the data ends
  // (a partial last line without '\n' is left in `line`), kTooLong when no
  // '\n' comes within `max` bytes.
  LineStatus ReadLine(std::string& line, std::size_t max);

  bool failed() const { return failed_; }
  const Result& failure() const { return source_.failure(); }
  // How many bytes have been consumed so far.
  uint64_t position() const { return position_; }

 private:
  bool Fill(std::size_t want);

  Source& source_;
  std::vector<uint8_t> buf_;
  std::size_t begin_ = 0, end_ = 0;
  bool eof_ = false;
  bool failed_ = false;
  uint64_t position_ = 0;
};

}  // namespace vesk::age
