// An unbuffered read-only file handle over a POSIX descriptor, with 64-bit
// sizes and positions. Failures throw IoError.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/fault_hooks.h"

namespace vesk {

class InputFile {
 public:
  InputFile() = default;
  explicit InputFile(const std::string& path) { Open(path); }
  ~InputFile();
  InputFile(InputFile&& other) noexcept;
  InputFile& operator=(InputFile&& other) noexcept;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  void Open(const std::string& path);  // read-only; throws IoError
  bool IsOpen() const { return fd_ >= 0; }
  void Close();
  int64_t Size() const;
  int64_t Position() const { return pos_; }
  void Seek(int64_t pos);
  // Reads up to n bytes; returns fewer only at the end of the file.
  std::size_t Read(void* buf, std::size_t n);
  // Reads exactly n bytes or throws.
  void ReadExact(void* buf, std::size_t n);
  // The open descriptor (-1 when closed), for copies inside the kernel.
  int Descriptor() const { return fd_; }
  // Tests: called before every read (fault_hooks.h). A copy from a file
  // with a hook goes through Read, never inside the kernel.
  void SetReadHook(ReadHook hook) { hook_ = std::move(hook); }
  bool HasReadHook() const { return static_cast<bool>(hook_); }

 private:
  int fd_ = -1;
  int64_t pos_ = 0;
  ReadHook hook_;
};

}  // namespace vesk
