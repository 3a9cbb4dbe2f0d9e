// Shared pieces of the fuzz targets: a reporter that answers every question
// Yes (so that the deepest paths run) and a scratch folder per process.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "support/recording_reporter.h"

namespace vesk::fuzz {

class YesReporter : public testing::RecordingReporter {
 public:
  YesReporter() { default_answer = true; }
};

// A folder of its own for this process, with TMPDIR pointing into it,
// removed with everything in it when the process exits normally (a crash
// leaves it, with the files the crashing input made).
inline const std::string& ScratchDir() {
  static const std::string dir = [] {
    // Under TMPDIR when set, so that a target can run on any file system.
    const char* base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/vesk-fuzz-XXXXXX";
    if (::mkdtemp(tmpl.data()) == nullptr) std::abort();
    ::setenv("TMPDIR", tmpl.c_str(), 1);
    return tmpl;
  }();
  // Registered after `dir` is complete, so it runs before dir's destructor.
  [[maybe_unused]] static const int removed_at_exit = std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  });
  return dir;
}

inline std::string WriteInput(const uint8_t* data, std::size_t size, const std::string& name) {
  const std::string path = ScratchDir() + "/" + name;
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data),
                                                                 static_cast<std::streamsize>(size));
  return path;
}

inline void Remove(const std::string& path) { ::unlink(path.c_str()); }

}  // namespace vesk::fuzz
