// Times creating a self-decrypting executable around a large container and
// separating it again against `cp` of the same container, in the same run
// and on the same file system, and prints the medians and their ratios.
//
// The outputs are new files, which the commands (like `cp`) leave to the
// system's writeback; the ratios are also given to `cp` followed by an
// fdatasync of the copy, the cost of a command that replaces a file.
//
//   vesk_sfx_bench [directory] [size in MiB] [runs]   (defaults: ".", 1024, 3)
#include <fcntl.h>
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

#include "bench_support.h"
#include "platform/file_io.h"
#include "selfextract/elf_image.h"
#include "selfextract/layout.h"
#include "selfextract/sfx_engine.h"

namespace {

using vesk::bench::Median;
using vesk::bench::QuietReporter;
using vesk::bench::RunCp;
using vesk::bench::Timing;
using vesk::bench::WriteSource;


bool SyncFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fdatasync(fd) == 0;
  return ::close(fd) == 0 && ok;
}

std::string g_dir;
int64_t g_warm = 0;

template <typename Body>
bool Measure(Timing& t, int who, Body body) {
  return vesk::bench::MeasureWarm(t, who, g_dir, g_warm, body);
}

void Print(const char* name, const Timing& t, const Timing& cp, const Timing& cp_sync, int64_t mib) {
  const double wall = Median(t.wall);
  const double ratio = wall / Median(cp.wall);
  std::printf("%-16s wall %.3f s   cpu %.3f s   %6.0f MiB/s   ratio to cp %.2f (goal <= 1.00)%s   to cp+sync %.2f\n",
              name, wall, Median(t.cpu), static_cast<double>(mib) / wall, ratio, ratio <= 1.0 ? "" : " MISSED",
              wall / Median(cp_sync.wall));
}

}  // namespace

int main(int argc, char** argv) {
  const auto [dir, mib, rounds] = vesk::bench::ParseSizeArgs(argc, argv, 1024);
  const std::string source = dir + "/vesk-bench.jmz";
  const std::string copy = dir + "/vesk-bench.cp";
  const std::string wrapped = dir + "/vesk-bench.run";
  const std::string separated = dir + "/vesk-bench-out.jmz";
  for (const auto* f : {&source, &copy, &wrapped, &separated}) vesk::DeleteFile(*f);

  const int64_t size = mib << 20;
  const int64_t image = vesk::selfextract::ImageSizeOf(VESK_SFX_PATH);
  WriteSource(source, size);
  ::sync();
  g_dir = dir;
  g_warm = size;

  QuietReporter reporter;
  vesk::RunContext context{reporter, reporter, vesk::StopToken()};
  Timing cp, cp_sync, create, separate;
  bool ok = true;
  for (int round = 0; round < rounds && ok; ++round) {
    ok = Measure(cp, RUSAGE_CHILDREN, [&] { return RunCp(source, copy); });
    vesk::DeleteFile(copy);
    ok = ok && Measure(cp_sync, RUSAGE_CHILDREN, [&] { return RunCp(source, copy) && SyncFile(copy); });
    vesk::DeleteFile(copy);

    ok = ok && Measure(create, RUSAGE_SELF, [&] {
           vesk::InputFile container(source);
           vesk::selfextract::CreateJob job{VESK_SFX_PATH, image, wrapped, false,
                                            "vesk-bench.jmz", size};
           return vesk::selfextract::CreateSelfDecrypting(job, container, context).Completed();
         });

    ok = ok && Measure(separate, RUSAGE_SELF, [&] {
           vesk::InputFile program(wrapped);
           return vesk::selfextract::SeparatePayload(
                      {vesk::selfextract::PayloadOffset(image), size, separated, false, ""}, program, context)
               .Completed();
         });
    ok = ok && vesk::FileSizeOf(separated) == size;
    vesk::DeleteFile(wrapped);
    vesk::DeleteFile(separated);
  }
  for (const auto* f : {&source, &copy, &wrapped, &separated}) vesk::DeleteFile(*f);
  if (!ok) {
    std::fprintf(stderr, "benchmark run failed: %s\n", reporter.status.c_str());
    return 1;
  }
  std::printf("container %lld MiB, program image %lld bytes, median of %d runs\n", static_cast<long long>(mib),
              static_cast<long long>(image), rounds);
  std::printf("%-16s wall %.3f s   cpu %.3f s\n", "cp", Median(cp.wall), Median(cp.cpu));
  std::printf("%-16s wall %.3f s   cpu %.3f s\n", "cp + fdatasync", Median(cp_sync.wall), Median(cp_sync.cpu));
  Print("create", create, cp, cp_sync, mib);
  Print("separate", separate, cp, cp_sync, mib);
  return 0;
}
