// Times compression and decompression of a large text-like file against
// pigz and gzip at the same zlib level, in the same run and on the same file
// system, and prints medians, ratios and compressed sizes:
//  - for each level asked for (1 fast, 2 normal, 3 maximum = zlib 1, 6, 9):
//    the compression component with every processor (and pinned to one
//    thread, for the speed-up), `vesk-cli compress` and `vesk-cli encrypt`
//    when the command-line program is built next to this benchmark, against
//    `pigz -N -z -p <processors>` and `gzip -N`;
//  - decompression of the component's level-2 ".zak" (length pass included),
//    `vesk-cli decompress` of its own level-2 ".zak" and `vesk-cli decrypt`
//    of its level-2 ".jmz" (decryption, then decompression) against
//    `pigz -dz` of pigz's stream and `gzip -dc`.
// The goals: the fast level at most half of pigz's time with an output no
// larger than pigz's; decompression at most half of `pigz -dz`, decryption
// with decompression at most 0.55 of it. VESK_BENCH_CLI names another
// vesk-cli (an older build) for its rows.
// Every decompressed output is compared with the source. pigz is optional:
// without it its rows are left out.
//
//   vesk_compress_bench [directory] [size in MiB] [runs] [levels]
//   (defaults: ".", 256, 3, 123)
//
// The machine should be quiet: look at the load averages printed at the
// start and the end.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "compress/inflate_codecs.h"
#include "compress/parallel_deflate.h"
#include "compress/compressor.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "threads/queued_ui_thread.h"

namespace {

using vesk::bench::Median;

std::string LoadAverages() {
  std::ifstream in("/proc/loadavg");
  std::string one, five, fifteen;
  in >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

class Xorshift {
 public:
  uint64_t Next() {
    x_ ^= x_ << 13;
    x_ ^= x_ >> 7;
    x_ ^= x_ << 17;
    return x_;
  }
  uint32_t Below(uint32_t n) { return static_cast<uint32_t>(((Next() >> 32) * n) >> 32); }

 private:
  uint64_t x_ = 0x9E3779B97F4A7C15ull;
};

// Prose-like text: words of a 5000-word vocabulary built from syllables,
// drawn with Zipf frequencies (exponent 1.15) as the words of natural text
// are, in sentences with commas and full stops, wrapped at 72 columns, with
// a blank line between paragraphs now and then. gzip -6 leaves about 31 %.
void WriteText(const std::string& path, int64_t size) {
  static const char* const kSyllables[] = {"ka", "ne", "ri", "to", "sa", "mo", "lu", "pe", "di", "an",
                                           "or", "es", "in", "th", "er", "st", "al", "ou", "ve", "ly",
                                           "ch", "ing", "ed", "re", "co", "ma", "ti", "on", "pa", "gr"};
  constexpr uint32_t kSyllableCount = sizeof(kSyllables) / sizeof(kSyllables[0]);
  constexpr int kVocabulary = 5000;
  Xorshift rng;
  std::vector<std::string> words;
  for (int i = 0; i < kVocabulary; ++i) {
    const uint32_t syllables = 1 + rng.Below(3) + (i > 200 ? 1 : 0);  // the common words are short
    std::string w;
    for (uint32_t k = 0; k < syllables; ++k) w += kSyllables[rng.Below(kSyllableCount)];
    words.push_back(w);
  }
  // Word rank by a uniform 16-bit draw, from the cumulative Zipf weights.
  std::vector<double> cumulative(kVocabulary);
  double sum = 0;
  for (int i = 0; i < kVocabulary; ++i) cumulative[i] = sum += 1.0 / std::pow(i + 1, 1.15);
  std::vector<uint16_t> rank(1 << 16);
  for (std::size_t k = 0, j = 0; k < rank.size(); ++k) {
    const double x = (static_cast<double>(k) + 0.5) / static_cast<double>(rank.size()) * sum;
    while (cumulative[j] < x) ++j;
    rank[k] = static_cast<uint16_t>(j);
  }

  vesk::OutputFile out;
  out.CreateNew(path);
  std::string block;
  block.reserve((1 << 20) + 256);
  std::size_t column = 0;
  int in_sentence = 0;
  bool capital = true;
  for (int64_t done = 0; done < size;) {
    std::string word = words[rank[rng.Below(1 << 16)]];
    if (capital) word[0] = static_cast<char>(word[0] - 'a' + 'A');
    capital = false;
    ++in_sentence;
    const uint32_t p = rng.Below(100);
    if (in_sentence > 4 && p < 12) {
      word += '.';
      capital = true;
      in_sentence = 0;
    } else if (p < 18) {
      word += ',';
    }
    if (column + word.size() + 1 > 72) {
      block += '\n';
      if (rng.Below(8) == 0) block += '\n';
      column = 0;
    } else if (column > 0) {
      block += ' ';
      ++column;
    }
    block += word;
    column += word.size();
    if (block.size() >= (1 << 20)) {
      const auto n = static_cast<std::size_t>(std::min<int64_t>(static_cast<int64_t>(block.size()), size - done));
      out.Write(block.data(), n);
      done += static_cast<int64_t>(n);
      block.clear();
    }
  }
  out.Close();
}

// Runs a program without a shell, its standard output going to `out_path`
// and its standard error to /dev/null;
// true when it exited with 0.
bool Run(const std::vector<std::string>& args, const std::string& out_path) {
  const pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    const int fd = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::dup2(fd, STDOUT_FILENO) < 0) ::_exit(126);
    const int null = ::open("/dev/null", O_WRONLY);  // progress and messages are not wanted
    if (null < 0 || ::dup2(null, STDERR_FILENO) < 0) ::_exit(126);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool SameContent(const std::string& a, const std::string& b) {
  vesk::InputFile fa(a), fb(b);
  if (fa.Size() != fb.Size()) return false;
  std::vector<char> ba(1 << 20), bb(1 << 20);
  for (;;) {
    const std::size_t na = fa.Read(ba.data(), ba.size());
    const std::size_t nb = fb.Read(bb.data(), bb.size());
    if (na != nb || std::memcmp(ba.data(), bb.data(), na) != 0) return false;
    if (na == 0) return true;
  }
}

using vesk::bench::Timing;

template <typename Body>
bool Measure(Timing& t, int who, Body body) {
  const bool ok = vesk::bench::TimeOnce(t, who, body);
  ::sync();  // the next measurement does not pay for this one's writes
  return ok;
}

void Print(const std::string& name, const Timing& t, int64_t size, int64_t source_size) {
  std::printf("%-30s wall %8.3f s   cpu %8.3f s", name.c_str(), Median(t.wall), Median(t.cpu));
  if (size > 0) std::printf("   size %6.2f%%", 100.0 * static_cast<double>(size) / static_cast<double>(source_size));
  std::printf("\n");
}

void PrintRatio(const std::string& name, const Timing& ours, const Timing& theirs, const char* goal_text,
                bool met) {
  std::printf("  %-40s %.2f (%s)%s\n", name.c_str(), Median(ours.wall) / Median(theirs.wall), goal_text,
              met ? "" : "   MISSED");
}

bool HavePigz() { return Run({"pigz", "--version"}, "/dev/null"); }

class ThreadsPinned {
 public:
  explicit ThreadsPinned(const char* count) { ::setenv("VESK_THREADS", count, 1); }
  ~ThreadsPinned() { ::unsetenv("VESK_THREADS"); }
};

}  // namespace

int main(int argc, char** argv) {
  const auto [dir, mib, rounds] = vesk::bench::ParseSizeArgs(argc, argv, 256);
  const std::string levels = argc > 4 ? argv[4] : "123";
  ::unsetenv("VESK_THREADS");
  const int processors = vesk::compress::CompressionThreads();
  const bool pigz = HavePigz();
  const std::string cli = vesk::bench::CliPath();
  const std::string source = dir + "/vesk-compress-bench.txt";
  const std::string zak = dir + "/vesk-compress-bench-component.zak";
  std::string cli_zak, sealed;  // as vesk-cli names them
  const std::string cli_out = dir + "/vesk-compress-bench.stdout";
  const std::string zz = dir + "/vesk-compress-bench.zz";
  const std::string gz = dir + "/vesk-compress-bench.gz";
  const std::string back = dir + "/vesk-compress-bench.back";
  const std::vector<const std::string*> files = {&source, &zak, &cli_zak, &sealed, &zz, &gz, &back, &cli_out};
  for (const auto* f : files) vesk::DeleteFile(*f);

  std::printf("load averages at the start: %s\n", LoadAverages().c_str());
  std::printf("%d processors; pigz %s; vesk-cli %s\n", processors, pigz ? "found" : "not found (its rows are left out)",
              cli.empty() ? "not built (its rows are left out)" : cli.c_str());
  std::printf("codecs of this benchmark's component: %s\n", vesk::compress::CodecsName());
  WriteText(source, mib << 20);
  ::sync();
  const int64_t size = mib << 20;
  ::setenv("VESK_BENCH_KEY", "a key for the benchmark", 1);

  vesk::QueuedUiThread ui;  // this thread is the component's user-interface thread
  vesk::Compressor zip(ui);
  bool ended = false, normal = false;
  zip.OnEnd = [&](bool n, float) {
    ended = true;
    normal = n;
  };
  auto run_zip = [&](bool compress, const std::string& from, const std::string& to, vesk::TCompressionLevel level) {
    ended = normal = false;
    zip.SourceFile = from;
    zip.DestFile = to;
    zip.ZipLevel = level;
    if (compress) {
      zip.Compress();
    } else {
      zip.Decompress();
    }
    if (!zip.Busy()) return false;
    ui.RunUntil([&] { return ended; });
    return normal;
  };
  // vesk-cli prints the path it wrote; that file is kept in `*written`.
  auto cli_run = [&](std::vector<std::string> args, std::string* written) {
    args.insert(args.begin(), cli);
    if (!Run(args, cli_out)) return false;
    std::ifstream in(cli_out);
    std::getline(in, *written);
    return !written->empty();
  };

  bool ok = true, same = true, goals_met = true;
  std::string failed;
  auto check = [&](bool step_ok, const char* what) {
    if (!step_ok && ok) failed = what;
    ok = ok && step_ok;
    return ok;
  };
  std::printf("text-like file of %lld MiB, median of %d runs\n", static_cast<long long>(mib), rounds);

  for (const char lc : levels) {
    if (lc < '1' || lc > '3' || !ok) continue;
    const int level = lc - '0';
    const int zlib_level = level == 1 ? 1 : level == 2 ? 6 : 9;
    const auto ours_level = static_cast<vesk::TCompressionLevel>(level);
    const std::string z = "-" + std::to_string(zlib_level);
    Timing ours, single, cli_compress, cli_encrypt, pigz_c, gzip_c;
    for (int round = 0; round < rounds && ok; ++round) {
      vesk::DeleteFile(zak);
      check(Measure(ours, RUSAGE_SELF, [&] { return run_zip(true, source, zak, ours_level); }), "compression");
      {
        ThreadsPinned one("1");
        vesk::DeleteFile(back);
        check(Measure(single, RUSAGE_SELF, [&] { return run_zip(true, source, back, ours_level); }),
              "compression on one thread");
      }
      if (!cli.empty()) {
        vesk::DeleteFile(cli_zak);
        check(Measure(cli_compress, RUSAGE_CHILDREN,
                      [&] {
                        return cli_run({"compress", source, "--level", std::to_string(level), "--yes"}, &cli_zak);
                      }),
              "vesk-cli compress");
        vesk::DeleteFile(sealed);
        check(Measure(cli_encrypt, RUSAGE_CHILDREN,
                      [&] {
                        return cli_run({"encrypt", source, "--level", std::to_string(level), "--key-env",
                                        "VESK_BENCH_KEY", "--yes"},
                                       &sealed);
                      }),
              "vesk-cli encrypt");
      }
      if (pigz) {
        check(Measure(pigz_c, RUSAGE_CHILDREN,
                      [&] { return Run({"pigz", z, "-z", "-p", std::to_string(processors), "-c", source}, zz); }),
              "pigz");
      }
      check(Measure(gzip_c, RUSAGE_CHILDREN, [&] { return Run({"gzip", z, "-c", source}, gz); }), "gzip");
    }
    if (!ok) break;
    std::printf("\nlevel %d (zlib %d)\n", level, zlib_level);
    Print("Compressor, " + std::to_string(processors) + " threads", ours, vesk::FileSizeOf(zak), size);
    Print("Compressor, 1 thread", single, vesk::FileSizeOf(back), size);
    if (!cli.empty()) {
      Print("vesk-cli compress", cli_compress, vesk::FileSizeOf(cli_zak), size);
      Print("vesk-cli encrypt", cli_encrypt, vesk::FileSizeOf(sealed), size);
    }
    if (pigz) Print("pigz -z -p " + std::to_string(processors), pigz_c, vesk::FileSizeOf(zz), size);
    Print("gzip " + z, gzip_c, vesk::FileSizeOf(gz), size);
    const double speedup = Median(single.wall) / Median(ours.wall);
    const bool speedup_met = processors < 2 || speedup >= 1.8;
    std::printf("  %-40s %.2f (goal >= 1.8 on 2 or more processors)%s\n", "speed-up over one thread", speedup,
                speedup_met ? "" : "   MISSED");
    goals_met = goals_met && speedup_met;
    if (pigz) {
      // The fast level has a faster deflater than pigz's; the others share zlib with it.
      const double goal = level == 1 ? 0.5 : 1.05;
      const char* goal_text = level == 1 ? "goal <= 0.50" : "goal <= 1.05";
      const bool met = Median(ours.wall) <= goal * Median(pigz_c.wall);
      PrintRatio("Compressor / pigz", ours, pigz_c, goal_text, met);
      goals_met = goals_met && met;
      if (!cli.empty()) {
        PrintRatio("vesk-cli compress / pigz", cli_compress, pigz_c, goal_text,
                   Median(cli_compress.wall) <= goal * Median(pigz_c.wall));
      }
      const bool smaller = vesk::FileSizeOf(zak) <= vesk::FileSizeOf(zz);
      std::printf("  %-40s %.4f (goal <= 1)%s\n", "size / pigz's size",
                  static_cast<double>(vesk::FileSizeOf(zak)) / static_cast<double>(vesk::FileSizeOf(zz)),
                  smaller ? "" : "   MISSED");
      goals_met = goals_met && smaller;
    }
    PrintRatio("Compressor / gzip", ours, gzip_c, "for reference", true);

    if (level == 2) {
      // Decompression of these streams, each checked against the source.
      Timing ours_d, cli_d, cli_dd, pigz_d, gzip_d;
      for (int round = 0; round < rounds && ok; ++round) {
        vesk::DeleteFile(back);
        check(Measure(ours_d, RUSAGE_SELF,
                      [&] { return run_zip(false, zak, back, vesk::TCompressionLevel::clDefault); }),
              "decompression");
        same = same && SameContent(source, back);
        if (!cli.empty()) {
          std::string written;
          vesk::DeleteFile(back);
          check(Measure(cli_d, RUSAGE_CHILDREN,
                        [&] { return cli_run({"decompress", cli_zak, "-o", back, "--yes"}, &written); }),
                "vesk-cli decompress");
          same = same && SameContent(source, back);
          vesk::DeleteFile(back);
          check(Measure(cli_dd, RUSAGE_CHILDREN,
                        [&] {
                          // Named apart from the source: the stored extension is put back.
                          return cli_run({"decrypt", sealed, "-o", dir + "/vesk-compress-bench-opened", "--key-env",
                                          "VESK_BENCH_KEY", "--yes"},
                                         &written);
                        }),
                "vesk-cli decrypt");
          same = same && SameContent(source, written);
          vesk::DeleteFile(written);
        }
        if (pigz) {
          check(Measure(pigz_d, RUSAGE_CHILDREN, [&] { return Run({"pigz", "-dz", "-c", zz}, back); }), "pigz -dz");
          same = same && SameContent(source, back);
        }
        check(Measure(gzip_d, RUSAGE_CHILDREN, [&] { return Run({"gzip", "-dc", gz}, back); }), "gzip -dc");
        same = same && SameContent(source, back);
      }
      if (!ok) break;
      std::printf("\ndecompression of the level-2 streams\n");
      Print("Compressor, length pass included", ours_d, 0, size);
      if (!cli.empty()) {
        Print("vesk-cli decompress", cli_d, 0, size);
        Print("vesk-cli decrypt (.jmz)", cli_dd, 0, size);
      }
      if (pigz) Print("pigz -dz", pigz_d, 0, size);
      Print("gzip -dc", gzip_d, 0, size);
      if (pigz) {
        const bool met = Median(ours_d.wall) <= 0.5 * Median(pigz_d.wall);
        PrintRatio("Compressor / pigz -dz", ours_d, pigz_d, "goal <= 0.50", met);
        goals_met = goals_met && met;
        if (!cli.empty()) {
          const bool cli_met = Median(cli_d.wall) <= 0.5 * Median(pigz_d.wall);
          PrintRatio("vesk-cli decompress / pigz -dz", cli_d, pigz_d, "goal <= 0.50", cli_met);
          const bool dd_met = Median(cli_dd.wall) <= 0.55 * Median(pigz_d.wall);
          PrintRatio("vesk-cli decrypt / pigz -dz", cli_dd, pigz_d, "goal <= 0.55", dd_met);
          goals_met = goals_met && cli_met && dd_met;
        }
      }
      PrintRatio("Compressor / gzip -dc", ours_d, gzip_d, "for reference", true);
    }
  }
  for (const auto* f : files) vesk::DeleteFile(*f);
  if (!ok) {
    std::fprintf(stderr, "benchmark run failed in %s\n", failed.c_str());
    return 1;
  }
  std::printf("\noutputs identical to the source: %s\n", same ? "yes" : "NO");
  std::printf("goals: %s\n", goals_met ? "all met" : "some MISSED");
  std::printf("load averages at the end: %s\n", LoadAverages().c_str());
  return same ? 0 : 1;
}
