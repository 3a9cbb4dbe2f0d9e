// A fresh directory for one test, removed with everything in it afterwards.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vesk::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(std::string_view name) const { return path_ + "/" + std::string(name); }

 private:
  std::string path_;
};

// Whole-file helpers for small test files.
void WriteFile(const std::string& path, std::string_view bytes);
std::string ReadFile(const std::string& path);
// Deterministic pseudo-random bytes.
std::string RandomBytes(std::size_t n, uint32_t seed);

}  // namespace vesk::testing
