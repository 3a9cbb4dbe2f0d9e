#include "support/faults.h"

#include <algorithm>
#include <memory>

#include "platform/file_io.h"

namespace vesk::testing::faults {
namespace {

[[noreturn]] void Throw(const char* what, int error) {
  errno = error;
  ThrowIoError(what);
}

// Whether the call (offset, size) reaches byte `byte`; a flush (size 0)
// reaches the byte where the output ends.
bool Holds(int64_t offset, std::size_t size, int64_t byte) {
  if (size == 0) return offset == byte;
  return offset <= byte && byte < offset + static_cast<int64_t>(size);
}

}  // namespace

WriteHook FailWriteAt(int64_t byte, int error) {
  return [byte, error](int64_t offset, std::size_t size) {
    if (Holds(offset, size, byte)) Throw(size == 0 ? "cannot flush" : "cannot write", error);
  };
}

WriteHook FailOnFlush(int error) {
  return [error](int64_t, std::size_t size) {
    if (size == 0) Throw("cannot flush", error);
  };
}

WriteHook AtByte(int64_t byte, std::function<void()> action) {
  auto done = std::make_shared<bool>(false);
  return [byte, action = std::move(action), done](int64_t offset, std::size_t size) {
    if (*done || !(size == 0 || offset + static_cast<int64_t>(size) > byte)) return;
    *done = true;
    action();
  };
}

WriteHook WriteLog::Hook() {
  return [this](int64_t offset, std::size_t size) {
    std::lock_guard lock(mutex_);
    if (size == 0) {
      ++flushes_;
    } else {
      writes_.emplace_back(offset, size);
    }
  };
}

std::vector<std::pair<int64_t, std::size_t>> WriteLog::Writes() const {
  std::lock_guard lock(mutex_);
  return writes_;
}

int WriteLog::Flushes() const {
  std::lock_guard lock(mutex_);
  return flushes_;
}

ReadHook ShortReads(std::size_t most) {
  return [most](int64_t, std::size_t size) { return std::min(size, most); };
}

ReadHook EndAt(int64_t byte) {
  return [byte](int64_t offset, std::size_t size) {
    return offset >= byte ? std::size_t{0} : std::min(size, static_cast<std::size_t>(byte - offset));
  };
}

ReadHook FailReadAt(int64_t byte, int error) {
  return [byte, error](int64_t offset, std::size_t size) {
    if (offset <= byte && byte < offset + static_cast<int64_t>(size)) Throw("cannot read", error);
    return size;
  };
}

}  // namespace vesk::testing::faults
