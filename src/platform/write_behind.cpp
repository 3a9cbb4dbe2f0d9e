#include "platform/write_behind.h"

#include <stdexcept>

namespace vesk {

WriteBehind::WriteBehind(Sink sink, std::size_t buffer_size, std::size_t buffer_count)
    : sink_(std::move(sink)), buffers_(buffer_count, std::vector<uint8_t>(buffer_size)), sizes_(buffer_count, 0) {
  if (buffer_count == 0) throw std::invalid_argument("no buffers");
}

WriteBehind::~WriteBehind() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void WriteBehind::ThrowIfFailed() {
  if (failure_) std::rethrow_exception(failure_);
}

uint8_t* WriteBehind::Next() {
  std::unique_lock lock(mutex_);
  // The helper starts when a second buffer is wanted while one waits: a
  // run of a single buffer (a small file) is written by Flush on this
  // thread and pays for no thread.
  if (!thread_.joinable() && committed_ > written_) thread_ = std::thread([this] { Run(); });
  changed_.wait(lock, [this] { return failure_ || committed_ - written_ < buffers_.size(); });
  ThrowIfFailed();
  return buffers_[committed_ % buffers_.size()].data();
}

void WriteBehind::Commit(std::size_t n) {
  {
    std::lock_guard lock(mutex_);
    ThrowIfFailed();
    sizes_[committed_ % buffers_.size()] = n;
    ++committed_;
  }
  changed_.notify_all();
}

void WriteBehind::Flush() {
  std::unique_lock lock(mutex_);
  if (!thread_.joinable()) {
    while (!failure_ && written_ < committed_) {
      try {
        const std::size_t slot = written_ % buffers_.size();
        sink_(buffers_[slot].data(), sizes_[slot]);
        ++written_;
      } catch (...) {
        failure_ = std::current_exception();
      }
    }
  }
  changed_.wait(lock, [this] { return failure_ || written_ == committed_; });
  ThrowIfFailed();
}

void WriteBehind::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || written_ < committed_; });
    if (stopping_ || failure_) return;
    const std::size_t slot = written_ % buffers_.size();
    lock.unlock();
    std::exception_ptr failure;
    try {
      sink_(buffers_[slot].data(), sizes_[slot]);
    } catch (...) {
      failure = std::current_exception();
    }
    lock.lock();
    if (failure) {
      failure_ = failure;
    } else {
      ++written_;
    }
    changed_.notify_all();
    if (failure_) return;
  }
}

}  // namespace vesk
