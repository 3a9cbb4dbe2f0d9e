// Times `vesk-cli encrypt` of a 3-byte file as a whole process against
// `gzip -c` of the same file into a new file, alternating the two so that
// both see the same machine, and prints the medians and their ratio. What is
// measured is the fixed cost of a run: start-up, the key, the threads, the
// temporary compressed file and the commit of the output.
//
//   vesk_tiny_bench [directory] [runs]   (defaults: ".", 400)
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_support.h"
#include "platform/file_io.h"

extern char** environ;

namespace {

using vesk::bench::Median;
using vesk::bench::Seconds;

// Runs `argv` with standard output sent to `out` (created anew) and standard
// error to /dev/null; the seconds it took from start to exit, or -1.
double TimeProcess(std::vector<std::string> argv, const std::string& out) {
  std::vector<char*> args;
  for (auto& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  ::waitpid(pid, &status, 0);
  const double took = Seconds(std::chrono::steady_clock::now() - start);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? took : -1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : ".";
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 400;
  const std::string cli = vesk::bench::CliPath();
  if (cli.empty()) {
    std::fprintf(stderr, "vesk-cli is not built next to this benchmark\n");
    return 1;
  }
  const std::string source = dir + "/vesk-tiny.txt";
  const std::string sealed = dir + "/vesk-tiny.jmz";
  const std::string gz = dir + "/vesk-tiny.gz";
  const std::string printed = dir + "/vesk-tiny.out";
  {
    vesk::OutputFile f;
    f.CreateNew(source);
    f.Write("abc", 3);
    f.Close();
  }
  ::setenv("VESK_TINY_BENCH_KEY", "secret", 1);

  std::vector<double> ours, gzip, version;
  bool ok = true;
  for (int i = 0; i < runs && ok; ++i) {
    vesk::DeleteFile(sealed);
    const double a = TimeProcess({cli, "encrypt", source, "-o", sealed, "--key-env", "VESK_TINY_BENCH_KEY"}, printed);
    vesk::DeleteFile(gz);
    const double b = TimeProcess({"gzip", "-c", source}, gz);
    const double c = TimeProcess({cli, "--version"}, printed);
    ok = a > 0 && b > 0 && c > 0;
    ours.push_back(a);
    gzip.push_back(b);
    version.push_back(c);
  }
  for (const auto* f : {&source, &sealed, &gz, &printed}) vesk::DeleteFile(*f);
  if (!ok) {
    std::fprintf(stderr, "a run failed\n");
    return 1;
  }
  const double ratio = Median(ours) / Median(gzip);
  std::printf("3-byte file, median of %d runs\n", runs);
  std::printf("%-28s %.2f ms\n", "vesk-cli encrypt", Median(ours) * 1e3);
  std::printf("%-28s %.2f ms\n", "gzip -c into a new file", Median(gzip) * 1e3);
  std::printf("%-28s %.2f ms\n", "vesk-cli --version", Median(version) * 1e3);
  std::printf("  %-26s %.2f (goal <= 3)%s\n", "encrypt / gzip -c", ratio, ratio <= 3 ? "" : "   MISSED");
  return 0;
}
