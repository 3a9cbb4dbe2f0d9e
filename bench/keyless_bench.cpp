// Times key-less encryption of a large file against `cp` of the same file,
// in the same run and on the same file system, and prints both medians and
// their ratio.
//
//   vesk_keyless_bench [directory] [size in MiB] [runs]   (defaults: ".", 1024, 3)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/reporting.h"
#include "crypto/keyless/engine.h"
#include "platform/file_io.h"

namespace {

// A reporter without a window: it remembers the last status line only.
class QuietReporter : public vesk::Reporter {
 public:
  void ReportMessage(const std::string& text) override { status = text; }
  void ShowStatus(const std::string& text) override { status = text; }
  bool AskYesNo(const std::string&, const std::string&) override { return false; }
  std::string status;

 protected:
  void OnBarRange(int64_t) override {}
  void OnBarPosition(int64_t) override {}
  void SetControlEnabled(vesk::Control, bool) override {}
  void SetControlTag(vesk::Control, int) override {}
  void SetControlCaption(vesk::Control, const std::string&) override {}
};

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Processor time (user + system) used so far by this process or by its
// waited-for children.
double CpuSeconds(int who) {
  rusage u {};
  ::getrusage(who, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void WriteSource(const std::string& path, int64_t size) {
  vesk::OutputFile out;
  out.CreateNew(path);
  std::vector<uint64_t> block(1 << 17);  // 1 MiB
  uint64_t x = 0x9E3779B97F4A7C15ull;
  for (int64_t done = 0; done < size;) {
    for (uint64_t& w : block) {  // xorshift: incompressible, cheap
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

// Runs cp without a shell; true when it succeeded.
bool RunCp(const std::string& from, const std::string& to) {
  const pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    ::execlp("cp", "cp", from.c_str(), to.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : ".";
  const int64_t mib = argc > 2 ? std::atoll(argv[2]) : 1024;
  const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
  const std::string source = dir + "/keyless-bench.src";
  const std::string copy = dir + "/keyless-bench.cp";
  const std::string sealed = dir + "/keyless-bench.jmz";
  vesk::DeleteFile(source);
  vesk::DeleteFile(copy);
  vesk::DeleteFile(sealed);

  WriteSource(source, mib << 20);
  ::sync();

  QuietReporter reporter;
  vesk::keyless::KeylessJob job;
  job.key = "a key for the benchmark";
  job.source_path = source;
  job.target_path = sealed;

  std::vector<double> cp_times, cp_cpu;
  std::vector<double> encrypt_times, encrypt_cpu;
  bool ok = true;
  for (int round = 0; round < rounds && ok; ++round) {
    double cpu = CpuSeconds(RUSAGE_CHILDREN);
    auto start = std::chrono::steady_clock::now();
    ok = RunCp(source, copy);
    cp_times.push_back(Seconds(std::chrono::steady_clock::now() - start));
    cp_cpu.push_back(CpuSeconds(RUSAGE_CHILDREN) - cpu);
    vesk::DeleteFile(copy);
    ::sync();

    reporter.Flags().KeepRunning = true;
    cpu = CpuSeconds(RUSAGE_SELF);
    start = std::chrono::steady_clock::now();
    vesk::keyless::EncryptKeyless(job, reporter);
    encrypt_times.push_back(Seconds(std::chrono::steady_clock::now() - start));
    encrypt_cpu.push_back(CpuSeconds(RUSAGE_SELF) - cpu);
    ok = ok && reporter.status == vesk::keyless::text::kEncryptDone;
    vesk::DeleteFile(sealed);
    ::sync();
  }
  vesk::DeleteFile(source);
  if (!ok) {
    std::fprintf(stderr, "benchmark run failed: %s\n", reporter.status.c_str());
    return 1;
  }

  const double cp_median = Median(cp_times);
  const double encrypt_median = Median(encrypt_times);
  std::printf("file size            %lld MiB, median of %d runs\n", static_cast<long long>(mib), rounds);
  std::printf("cp        wall %.3f s   cpu %.3f s\n", cp_median, Median(cp_cpu));
  std::printf("encrypt   wall %.3f s   cpu %.3f s   (%.0f MiB/s)\n", encrypt_median, Median(encrypt_cpu),
              static_cast<double>(mib) / encrypt_median);
  std::printf("ratio encrypt/cp     wall %.2f   cpu %.2f\n", encrypt_median / cp_median,
              Median(encrypt_cpu) / Median(cp_cpu));
  return 0;
}
