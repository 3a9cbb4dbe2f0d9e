// Times the shredder on a large file against `shred -n 0 -z -u` of the same
// file (one pass of zeros, flushed, then removed), in the same run and on the
// same file system, and prints the medians and their ratio.
//
//   vesk_shred_bench [directory] [size in MiB] [runs] [--cold]
//     (defaults: ".", 1024, 3; --cold drops the page cache before each timed
//     step, as for a file that has not been read for a while; needs root)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "platform/file_io.h"
#include "shred/shredder.h"

namespace {

using vesk::bench::Median;
using vesk::bench::QuietReporter;
using vesk::bench::WriteSource;

// Answers the confirmation with Yes.
class YesReporter : public QuietReporter {
 public:
  bool AskYesNo(const std::string&, const std::string&) override { return true; }
};

bool RunShred(const std::string& path) { return vesk::bench::RunProgram({"shred", "-n", "0", "-z", "-u", path}); }

bool DropCaches() {
  ::sync();
  std::ofstream drop("/proc/sys/vm/drop_caches");
  drop << "3\n";
  drop.flush();
  return static_cast<bool>(drop);
}

using vesk::bench::Timing;

// A fresh copy of the file for each step, on the disk and (unless cold)
// in the page cache, as a file just written is.
template <typename Body>
bool Measure(Timing& t, int who, const std::string& path, int64_t size, bool cold, Body body) {
  vesk::DeleteFile(path);
  WriteSource(path, size);
  ::sync();
  if (cold && !DropCaches()) return false;
  return vesk::bench::TimeOnce(t, who, body) && !vesk::PathExists(path);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const bool cold = std::find(args.begin(), args.end(), "--cold") != args.end();
  args.erase(std::remove(args.begin(), args.end(), "--cold"), args.end());
  const std::string dir = args.size() > 0 ? args[0] : ".";
  const int64_t mib = args.size() > 1 ? std::atoll(args[1].c_str()) : 1024;
  const int rounds = args.size() > 2 ? std::max(1, std::atoi(args[2].c_str())) : 3;
  const std::string path = dir + "/vesk-bench.shred";

  YesReporter reporter;
  vesk::RunContext context{reporter, reporter, {}};
  vesk::shred::ShredJob job;
  job.path = path;
  Timing ours, theirs;
  bool ok = true;
  for (int round = 0; round < rounds && ok; ++round) {
    // Alternate the order, so that neither always runs on a just-busied disk.
    const auto run_ours = [&] {
      return Measure(ours, RUSAGE_SELF, path, mib << 20, cold, [&] { return vesk::shred::ShredFile(job, context).Completed(); });
    };
    const auto run_theirs = [&] {
      return Measure(theirs, RUSAGE_CHILDREN, path, mib << 20, cold, [&] { return RunShred(path); });
    };
    ok = round % 2 == 0 ? run_ours() && run_theirs() : run_theirs() && run_ours();
  }
  vesk::DeleteFile(path);
  if (!ok) {
    std::fprintf(stderr, "benchmark run failed: %s\n", reporter.status.c_str());
    return 1;
  }
  std::printf("file size %lld MiB, %s page cache, median of %d runs\n", static_cast<long long>(mib),
              cold ? "cold" : "warm", rounds);
  std::printf("%-22s wall %.3f s   cpu %.3f s\n", "shred -n 0 -z -u", Median(theirs.wall), Median(theirs.cpu));
  std::printf("%-22s wall %.3f s   cpu %.3f s   ratio to shred %.2f\n", "vesk shredder", Median(ours.wall),
              Median(ours.cpu), Median(ours.wall) / Median(theirs.wall));
  return 0;
}
