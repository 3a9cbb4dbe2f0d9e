// A bounded pipe of bytes between two threads: one writes, the other reads,
// and neither holds more than the pipe's capacity. It joins the packer,
// which pushes the tar stream, to a cipher that pulls its input.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

namespace vesk::archive {

class BytePipe {
 public:
  explicit BytePipe(std::size_t capacity = std::size_t{4} << 20) : capacity_(capacity) {}

  // Writer's side. Write blocks while the pipe is full; false when the
  // reader has gone (nothing more will be read). Close marks the end of the
  // data; Fail tells the reader that the data will not be complete.
  bool Write(const void* data, std::size_t n);
  void Close();
  void Fail();

  // Reader's side. Read blocks until bytes are there or the writer has
  // ended: up to `n` bytes, 0 at the end of the data, -1 when the writer
  // failed. Abandon lets a blocked or later writer go.
  long Read(uint8_t* out, std::size_t n);
  void Abandon();

 private:
  const std::size_t capacity_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::vector<uint8_t>> blocks_;
  std::size_t front_used_ = 0;  // bytes of blocks_.front() already read
  std::size_t buffered_ = 0;
  bool closed_ = false;
  bool failed_ = false;
  bool abandoned_ = false;
};

}  // namespace vesk::archive
