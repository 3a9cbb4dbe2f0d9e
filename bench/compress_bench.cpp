// Times the compression component on a large text-like file against gzip, in
// the same run and on the same file system, and prints the medians and their
// ratios:
//  - compress-then-encrypt the way the encrypt command runs it: the component
//    compresses the file at clDefault into a temporary ".zak", then the keyed
//    encryption engine turns that into a container (and deletes the ".zak"),
//    against `gzip -6 -c FILE > out.gz`;
//  - decompression of that ".zak" by the component, length pass included,
//    against `gzip -dc out.gz > file`.
// Both decompressed outputs are compared with the source.
//
//   vesk_compress_bench [directory] [size in MiB] [runs]   (defaults: ".", 256, 3)
//
// The machine should be quiet: run `sync; echo 3 > /proc/sys/vm/drop_caches`
// first and look at the load averages printed at the start and the end.
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

#include "core/reporting.h"
#include "bench_support.h"
#include "compress/zn_zip.h"
#include "crypto/keyed/encrypt_engine.h"
#include "crypto/keyed/random.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "threads/queued_ui_thread.h"

namespace {

using vesk::bench::CpuSeconds;
using vesk::bench::Median;
using vesk::bench::QuietReporter;
using vesk::bench::Seconds;

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

// Runs a program without a shell, its standard output going to `out_path`;
// true when it exited with 0.
bool Run(const std::vector<std::string>& args, const std::string& out_path) {
  const pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    const int fd = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::dup2(fd, STDOUT_FILENO) < 0) ::_exit(126);
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

struct Timing {
  std::vector<double> wall, cpu;
};

template <typename Body>
bool Measure(Timing& t, int who, Body body) {
  const double cpu = CpuSeconds(who);
  const auto start = std::chrono::steady_clock::now();
  const bool ok = body();
  t.wall.push_back(Seconds(std::chrono::steady_clock::now() - start));
  t.cpu.push_back(CpuSeconds(who) - cpu);
  ::sync();  // the next measurement does not pay for this one's writes
  return ok;
}

void Print(const char* name, const Timing& t) {
  std::printf("%-24s wall %7.3f s   cpu %7.3f s\n", name, Median(t.wall), Median(t.cpu));
}

void PrintRatio(const char* name, const Timing& ours, const Timing& theirs, double goal) {
  const double ratio = Median(ours.wall) / Median(theirs.wall);
  std::printf("%-24s wall %7.3f s   cpu %7.3f s   ratio %.2f (goal <= %.2f)%s\n", name, Median(ours.wall),
              Median(ours.cpu), ratio, goal, ratio <= goal ? "" : "   MISSED");
}

double Percent(int64_t part, int64_t whole) {
  return 100.0 * static_cast<double>(part) / static_cast<double>(whole);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : ".";
  const int64_t mib = argc > 2 ? std::max<int64_t>(1, std::atoll(argv[2])) : 256;
  const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
  // The component's ".zak" goes to the temporary folder, as the window's
  // does; gzip's file goes next to it.
  const std::string temp = vesk::TempFolderPath();
  const std::string source = dir + "/vesk-compress-bench.txt";
  const std::string sealed = dir + "/vesk-compress-bench.jmz";
  const std::string ours_back = dir + "/vesk-compress-bench.back";
  const std::string gzip_back = dir + "/vesk-compress-bench.gunzip";
  const std::string zak = temp + "vesk-compress-bench.zak";
  const std::string kept_zak = temp + "vesk-compress-bench-kept.zak";
  const std::string gz = temp + "vesk-compress-bench.gz";
  const std::vector<const std::string*> files = {&source, &sealed, &ours_back, &gzip_back, &zak, &kept_zak, &gz};
  for (const auto* f : files) vesk::DeleteFile(*f);

  std::printf("load averages at the start: %s\n", LoadAverages().c_str());
  WriteText(source, mib << 20);
  ::sync();

  vesk::QueuedUiThread ui;  // this thread is the component's user-interface thread
  vesk::TZnZip zip(ui);
  bool ended = false, normal = false;
  zip.OnEnd = [&](bool n, float) {
    ended = true;
    normal = n;
  };
  auto run_zip = [&](bool compress, const std::string& from, const std::string& to) {
    ended = normal = false;
    zip.SourceFile = from;
    zip.DestFile = to;
    zip.ZipLevel = vesk::TCompressionLevel::clDefault;
    if (compress) {
      zip.Compress();
    } else {
      zip.Decompress();
    }
    if (!zip.Busy()) return false;
    ui.RunUntil([&] { return ended; });
    return normal;
  };

  QuietReporter reporter;
  vesk::keyed::SystemRandom random;
  vesk::keyed::EncryptJob job;
  job.key = "a key for the benchmark";
  job.source_path = zak;
  job.target_path = sealed;
  job.original_ext = ".txt";
  job.pre_zip_level = 2;

  Timing gzip_c, ours_c, gzip_d, ours_d;
  bool ok = true, same = true;
  const char* failed = "";
  for (int round = 0; round < rounds && ok; ++round) {
    ok = Measure(gzip_c, RUSAGE_CHILDREN, [&] { return Run({"gzip", "-6", "-c", source}, gz); });
    if (!ok) failed = "gzip -6";

    vesk::DeleteFile(sealed);
    ok = ok && Measure(ours_c, RUSAGE_SELF, [&] {
           if (!run_zip(true, source, zak)) return false;
           // A second name keeps the ".zak" for the decompression after the
           // engine has deleted it.
           vesk::DeleteFile(kept_zak);
           if (::link(zak.c_str(), kept_zak.c_str()) != 0) return false;
           reporter.Flags().KeepRunning = true;
           vesk::keyed::EncryptEngine(job, reporter, random);
           return reporter.status == "加密文件 ... 已完成。" && !vesk::FileExists(zak);
         });
    if (!ok && !*failed) failed = "compress-then-encrypt";

    vesk::DeleteFile(gzip_back);
    ok = ok && Measure(gzip_d, RUSAGE_CHILDREN, [&] { return Run({"gzip", "-dc", gz}, gzip_back); });
    if (!ok && !*failed) failed = "gzip -dc";

    vesk::DeleteFile(ours_back);
    ok = ok && Measure(ours_d, RUSAGE_SELF, [&] { return run_zip(false, kept_zak, ours_back); });
    if (!ok && !*failed) failed = "decompress .zak";

    same = same && ok && SameContent(source, gzip_back) && SameContent(source, ours_back);
  }
  const int64_t zak_size = vesk::FileSizeOf(kept_zak);
  const int64_t gz_size = vesk::FileSizeOf(gz);
  for (const auto* f : files) vesk::DeleteFile(*f);
  if (!ok) {
    std::fprintf(stderr, "benchmark run failed in %s (status: %s)\n", failed, reporter.status.c_str());
    return 1;
  }

  const int64_t size = mib << 20;
  std::printf("text-like file of %lld MiB, median of %d runs\n", static_cast<long long>(mib), rounds);
  std::printf(".zak %.1f%% of the source, out.gz %.1f%%\n", Percent(zak_size, size), Percent(gz_size, size));
  Print("gzip -6", gzip_c);
  PrintRatio("compress-then-encrypt", ours_c, gzip_c, 1.1);
  Print("gzip -dc", gzip_d);
  PrintRatio("decompress .zak", ours_d, gzip_d, 1.0);
  std::printf("outputs identical to the source: %s\n", same ? "yes" : "NO");
  std::printf("load averages at the end: %s\n", LoadAverages().c_str());
  return same ? 0 : 1;
}
