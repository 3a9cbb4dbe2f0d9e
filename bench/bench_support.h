// Pieces the benchmark programs share: a reporter without a window and the
// timing helpers.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/reporting.h"
#include "platform/file_io.h"

namespace vesk::bench {

// A reporter without a window: it remembers the last status line only.
class QuietReporter : public Reporter {
 public:
  void ReportMessage(const std::string& text) override { status = text; }
  void ShowStatus(const std::string& text) override { status = text; }
  bool AskYesNo(const std::string&, const std::string&) override { return false; }
  void SetCommandState(Operation, bool) override {}
  std::string status;

 protected:
  void OnBarRange(int64_t) override {}
  void OnBarPosition(int64_t) override {}
};

inline double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Processor time (user + system) used so far by this process (all its
// threads) or by its waited-for children.
inline double CpuSeconds(int who) {
  rusage u {};
  ::getrusage(who, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Writes `size` bytes of incompressible data (xorshift), 1 MiB at a time.
inline void WriteSource(const std::string& path, int64_t size) {
  OutputFile out;
  out.CreateNew(path);
  std::vector<uint64_t> block(1 << 17);  // 1 MiB
  uint64_t x = 0x9E3779B97F4A7C15ull;
  for (int64_t done = 0; done < size;) {
    for (uint64_t& w : block) {
      x ^= x << 13;
      x ^= x >> 7;
      x ^= x << 17;
      w = x;
    }
    const auto n = static_cast<std::size_t>(std::min<int64_t>(size - done, 1 << 20));
    out.Write(block.data(), n);
    done += static_cast<int64_t>(n);
  }
  out.Close();
}

// Runs a program (looked up on PATH) without a shell; true when it exited 0.
inline bool RunProgram(std::vector<std::string> argv) {
  std::vector<char*> args;
  for (auto& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    // The programs' progress and output paths stay out of the report.
    const int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0) ::dup2(null, STDOUT_FILENO);
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The command line the file benchmarks share: [directory] [size in MiB]
// [runs], with "." and 3 runs as defaults.
struct SizeArgs {
  std::string dir;
  int64_t mib;
  int rounds;
};
inline SizeArgs ParseSizeArgs(int argc, char** argv, int64_t default_mib) {
  return {argc > 1 ? argv[1] : ".", argc > 2 ? std::max<int64_t>(1, std::atoll(argv[2])) : default_mib,
          argc > 3 ? std::max(1, std::atoi(argv[3])) : 3};
}

struct Timing {
  std::vector<double> wall, cpu;
};

// Runs `body` once and adds its wall time and the processor time of `who`
// (RUSAGE_SELF or RUSAGE_CHILDREN) to `t`; returns what `body` returned.
template <typename Body>
bool TimeOnce(Timing& t, int who, Body&& body) {
  const double cpu = CpuSeconds(who);
  const auto start = std::chrono::steady_clock::now();
  const bool ok = body();
  t.wall.push_back(Seconds(std::chrono::steady_clock::now() - start));
  t.cpu.push_back(CpuSeconds(who) - cpu);
  return ok;
}

// Writes and deletes a scratch file of `bytes` in `dir`, so that the next
// timed step starts with memory the kernel has just used: a virtual machine
// that reports free memory to its host (free page reporting hands back
// pages a moment after they are freed) makes the first write into such
// memory pay for the host's page fault, about 1 to 3 s of system time per
// GiB, which would otherwise decide every figure. The deleted file's dirty
// pages are dropped, not written, so the step follows at once.
inline void WarmUp(const std::string& dir, int64_t bytes) {
  const std::string scratch = dir + "/vesk-bench.warm";
  WriteSource(scratch, bytes);
  DeleteFile(scratch);
}

// TimeOnce with everything earlier on the disk, warm memory right before
// it, and its own writes on the disk before the next step.
template <typename Body>
bool MeasureWarm(Timing& t, int who, const std::string& dir, int64_t warm, Body&& body) {
  ::sync();
  WarmUp(dir, warm);
  const bool ok = TimeOnce(t, who, body);
  ::sync();
  return ok;
}

inline bool RunCp(const std::string& from, const std::string& to) { return RunProgram({"cp", from, to}); }

// The command-line program built next to the running benchmark, or "";
// VESK_BENCH_CLI names another one (an older build, for a before-and-after
// comparison in the same run).
inline std::string CliPath() {
  if (const char* other = std::getenv("VESK_BENCH_CLI"); other != nullptr && *other != '\0') {
    return ::access(other, X_OK) == 0 ? other : "";
  }
  char self[4096];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "";
  self[n] = '\0';
  std::string path = self;
  path = path.substr(0, path.rfind('/')) + "/../bin/vesk-cli";
  return ::access(path.c_str(), X_OK) == 0 ? path : "";
}

}  // namespace vesk::bench
