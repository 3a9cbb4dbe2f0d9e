// Times vesk-cli on a folder against tar (and pigz) on the same folder, in
// the same run and on the same file system, and prints the medians, their
// ratios and the largest resident size vesk-cli reached:
//   encrypt DIR --level 0      against  tar -cf DIR.tar DIR
//   encrypt DIR --level 2      against  tar -cf - DIR | pigz -6 -p N
//   decrypt DIR.tar.jmz --unpack  against  tar -xf DIR.tar
// The folder holds `small` files of 4 KiB in 100 folders and one large file,
// all text-like (gzip -6 leaves about a third).
//
//   vesk_folder_bench [directory] [large file in MiB] [runs] [small files]
//   (defaults: ".", 256, 3, 10000)
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "platform/file_io.h"

namespace {

using vesk::bench::Median;
using vesk::bench::Timing;

// Text of a few hundred words, lines of about 72 columns.
class TextMaker {
 public:
  std::string Next(std::size_t size) {
    static const char* const kSyllables[] = {"ka", "ne", "ri", "to", "sa", "mo", "lu", "pe", "di", "an",
                                             "or", "es", "in", "th", "er", "st", "al", "ou", "ve", "ly"};
    std::string text;
    text.reserve(size + 16);
    std::size_t column = 0;
    while (text.size() < size) {
      std::string word;
      // Short words often, long ones rarely, as in prose.
      const unsigned syllables = 1 + static_cast<unsigned>(Draw() % 4 == 0 ? Draw() % 4 : Draw() % 2);
      for (unsigned k = 0; k < syllables; ++k) word += kSyllables[Draw() % 20];
      if (Draw() % 9 == 0) word += ',';
      if (column + word.size() > 72) {
        text += '\n';
        column = 0;
      } else if (column > 0) {
        text += ' ';
        ++column;
      }
      text += word;
      column += word.size();
    }
    text.resize(size);
    return text;
  }

 private:
  uint64_t Draw() {
    x_ ^= x_ << 13;
    x_ ^= x_ >> 7;
    x_ ^= x_ << 17;
    return x_ >> 11;
  }
  uint64_t x_ = 0x9E3779B97F4A7C15ull;
};

void Put(const std::string& path, const std::string& data) {
  vesk::OutputFile out;
  out.CreateNew(path);
  out.Write(data.data(), data.size());
  out.Close();
}

void MakeTree(const std::string& root, int64_t large_mib, int small) {
  ::mkdir(root.c_str(), 0755);
  TextMaker text;
  for (int d = 0; d < 100; ++d) ::mkdir((root + "/d" + std::to_string(d)).c_str(), 0755);
  for (int i = 0; i < small; ++i) {
    Put(root + "/d" + std::to_string(i % 100) + "/f" + std::to_string(i) + ".txt", text.Next(4096));
  }
  vesk::OutputFile out;
  out.CreateNew(root + "/large.txt");
  for (int64_t done = 0; done < (large_mib << 20); done += 1 << 20) {
    const std::string piece = text.Next(1 << 20);
    out.Write(piece.data(), piece.size());
  }
  out.Close();
}

// Runs a command through the shell in `dir`; its exit status and largest
// resident size (KiB), taken from this child alone.
struct Outcome {
  bool ok = false;
  long max_rss_kib = 0;
};
Outcome Shell(const std::string& dir, const std::string& command) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(dir.c_str()) != 0) ::_exit(126);
    ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  rusage usage {};
  ::wait4(pid, &status, 0, &usage);
  return {WIFEXITED(status) && WEXITSTATUS(status) == 0, usage.ru_maxrss};
}

std::string g_dir;
int64_t g_warm = 0;
long g_max_rss = 0;

// One timed run of `command`; false when it failed.
bool Measure(Timing& t, const std::string& command, bool ours) {
  Outcome outcome;
  const bool timed = vesk::bench::MeasureWarm(t, RUSAGE_CHILDREN, g_dir, g_warm, [&] {
    outcome = Shell(g_dir, command);
    return outcome.ok;
  });
  // The shell execs the last command of a line without a pipe: its size is vesk-cli's.
  if (ours) g_max_rss = std::max(g_max_rss, outcome.max_rss_kib);
  if (!timed) std::fprintf(stderr, "failed: %s\n", command.c_str());
  return timed;
}

void Print(const char* name, const Timing& ours, const char* other_name, const Timing& other, double goal) {
  const double a = Median(ours.wall), b = Median(other.wall);
  std::printf("%-32s %7.3f s (cpu %6.3f s)   %-26s %7.3f s (cpu %6.3f s)   ratio %.2f (goal <= %.1f)\n", name, a,
              Median(ours.cpu), other_name, b, Median(other.cpu), a / b, goal);
}

}  // namespace

int main(int argc, char** argv) {
  const auto [dir, mib, rounds] = vesk::bench::ParseSizeArgs(argc, argv, 256);
  const int small = argc > 4 ? std::max(1, std::atoi(argv[4])) : 10000;
  const std::string cli = vesk::bench::CliPath();
  if (cli.empty()) {
    std::fprintf(stderr, "vesk-cli is not built beside the benchmark\n");
    return 1;
  }
  g_dir = dir;
  g_warm = mib << 20;
  const std::string threads = std::to_string(std::max(1u, std::thread::hardware_concurrency()));
  Shell(dir, "rm -rf DIR DIR.* DIR2.* G.* aside unpacked");
  MakeTree(dir + "/DIR", mib, small);
  ::sync();
  ::setenv("VESK_BENCH_KEY", "a key for the benchmark", 1);
  const std::string key = " --key-env VESK_BENCH_KEY --yes >/dev/null 2>&1";

  Timing tar0, ours0, tar2, ours2, untar, unpack;
  bool ok = true;
  for (int round = 0; round < rounds && ok; ++round) {
    ok = Measure(tar0, "tar -cf G.tar DIR", false) && Measure(ours0, cli + " encrypt DIR --level 0" + key, true);
    ok = ok && Measure(tar2, "tar -cf - DIR | pigz -6 -p " + threads + " > G.tar.gz", false) &&
         Measure(ours2, cli + " encrypt DIR --level 2 -o DIR2.tar.jmz" + key, true);
    // Unpacking needs the folder's place free: the original waits aside.
    ok = ok && Shell(dir, "mv DIR aside && mkdir unpacked").ok;
    ok = ok && Measure(untar, "tar -xf G.tar -C unpacked", false);
    ok = ok && Measure(unpack, cli + " decrypt DIR.tar.jmz --unpack" + key, true);
    ok = ok && Shell(dir, "rm -rf unpacked DIR && mv aside DIR && rm -f G.tar G.tar.gz DIR.tar DIR.tar.jmz DIR2.tar.jmz").ok;
  }
  Shell(dir, "rm -rf DIR DIR.* DIR2.* G.* aside unpacked");
  if (!ok) return 1;
  std::printf("%d files of 4 KiB and one of %lld MiB, median of %d runs, %s processors\n", small,
              static_cast<long long>(mib), rounds, threads.c_str());
  Print("vesk-cli encrypt DIR --level 0", ours0, "tar -cf G.tar DIR", tar0, 1.3);
  Print("vesk-cli encrypt DIR --level 2", ours2, "tar -cf - DIR | pigz -6", tar2, 1.1);
  Print("vesk-cli decrypt --unpack", unpack, "tar -xf G.tar", untar, 1.3);
  std::printf("largest resident size of vesk-cli: %.1f MiB (goal < 32 MiB)\n", static_cast<double>(g_max_rss) / 1024);
  return 0;
}
