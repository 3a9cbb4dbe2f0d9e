// Writes buffers on a helper thread, in order, so that reading and
// transforming the next buffer overlaps the write of the previous one. A
// small ring of fixed buffers keeps the memory constant. The helper starts
// only when a second buffer is asked for; a single buffer is written by Flush.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace vesk {

class WriteBehind {
 public:
  using Sink = std::function<void(const uint8_t* data, std::size_t n)>;

  WriteBehind(Sink sink, std::size_t buffer_size, std::size_t buffer_count = 3);
  // Stops the helper; buffers not yet written are dropped (call Flush first
  // to keep them).
  ~WriteBehind();
  WriteBehind(const WriteBehind&) = delete;
  WriteBehind& operator=(const WriteBehind&) = delete;

  // A free buffer of buffer_size bytes; waits while all are queued. Throws
  // what the sink threw for an earlier buffer.
  uint8_t* Next();
  // Queues the first n bytes of the buffer that Next returned.
  void Commit(std::size_t n);
  // Waits until everything queued is written; throws what the sink threw.
  void Flush();

 private:
  void Run();
  void ThrowIfFailed();  // with the lock held

  Sink sink_;
  std::vector<std::vector<uint8_t>> buffers_;
  std::vector<std::size_t> sizes_;
  std::mutex mutex_;
  std::condition_variable changed_;
  uint64_t committed_ = 0;  // buffers handed over
  uint64_t written_ = 0;    // buffers the sink has finished
  bool stopping_ = false;
  std::exception_ptr failure_;
  std::thread thread_;
};

}  // namespace vesk
