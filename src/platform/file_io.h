// Unbuffered file handles over POSIX descriptors, with 64-bit sizes and
// positions. Failures throw IoError; the engines catch them where they decide
// what the user sees.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace vesk {

class IoError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

bool FileExists(const std::string& path);          // a regular file (or a link to one)
bool PathExists(const std::string& path);          // anything at all, links not followed
bool DirectoryExists(const std::string& path);
// Deletes a file; true when it was deleted.
bool DeleteFile(const std::string& path);
// True when both paths name the same existing file (same device and inode).
bool SameFile(const std::string& a, const std::string& b);
// Size of a file, or -1 when it cannot be measured.
int64_t FileSizeOf(const std::string& path);

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

 private:
  int fd_ = -1;
  int64_t pos_ = 0;
};

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&& other) noexcept;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates a new file; fails when anything (a file or a link) is already at
  // `path`. Never follows a symbolic link.
  void CreateNew(const std::string& path, mode_t mode = 0644);
  bool IsOpen() const { return fd_ >= 0; }
  void Write(const void* buf, std::size_t n);  // all or throw
  void Seek(int64_t pos);
  void Close();  // throws when the final close reports an error

 private:
  int fd_ = -1;
};

}  // namespace vesk
