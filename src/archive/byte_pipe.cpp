#include "archive/byte_pipe.h"

#include <algorithm>
#include <cstring>

namespace vesk::archive {

bool BytePipe::Write(const void* data, std::size_t n) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  std::unique_lock lock(mutex_);
  while (n > 0) {
    // A block larger than the capacity is taken in parts, each once there is room.
    changed_.wait(lock, [this] { return abandoned_ || buffered_ < capacity_; });
    if (abandoned_) return false;
    const std::size_t part = std::min(n, capacity_ - buffered_);
    blocks_.emplace_back(bytes, bytes + part);
    buffered_ += part;
    bytes += part;
    n -= part;
    changed_.notify_all();
  }
  return !abandoned_;
}

void BytePipe::Close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
  changed_.notify_all();
}

void BytePipe::Fail() {
  std::lock_guard lock(mutex_);
  failed_ = true;
  changed_.notify_all();
}

long BytePipe::Read(uint8_t* out, std::size_t n) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return failed_ || closed_ || !blocks_.empty(); });
  if (failed_) return -1;
  std::size_t copied = 0;
  while (copied < n && !blocks_.empty()) {
    std::vector<uint8_t>& front = blocks_.front();
    const std::size_t part = std::min(n - copied, front.size() - front_used_);
    std::memcpy(out + copied, front.data() + front_used_, part);
    copied += part;
    front_used_ += part;
    if (front_used_ == front.size()) {
      buffered_ -= front.size();
      blocks_.pop_front();
      front_used_ = 0;
    }
  }
  changed_.notify_all();
  return static_cast<long>(copied);
}

void BytePipe::Abandon() {
  std::lock_guard lock(mutex_);
  abandoned_ = true;
  changed_.notify_all();
}

}  // namespace vesk::archive
