// Times the file engines on a large file against `cp` of the same file, in
// the same run and on the same file system, and prints the medians and their
// ratios: keyed encryption without compression, keyed decryption of that
// container, and key-less encryption.
//
//   vesk_file_bench [directory] [size in MiB] [runs]   (defaults: ".", 1024, 3)
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

#include "core/reporting.h"
#include "bench_support.h"
#include "crypto/keyed/decrypt_engine.h"
#include "crypto/keyed/encrypt_engine.h"
#include "crypto/keyed/system_random.h"
#include "crypto/keyless/engine.h"
#include "platform/file_io.h"

namespace {

using vesk::bench::Median;
using vesk::bench::QuietReporter;
using vesk::bench::RunCp;
using vesk::bench::Timing;
using vesk::bench::WriteSource;


// The decryption engine's questions to the window: the key, and nothing else.
class BenchHost : public vesk::keyed::DecryptHost {
 public:
  std::string DecryptionKey() override { return key; }
  void SetHint(vesk::Hint, const std::string&) override {}
  void OutputChosen(const std::string&) override {}
  bool StartDecompression(const std::string&, const std::string&, bool) override { return false; }
  std::string key;
};

std::string g_dir;
int64_t g_warm = 0;

template <typename Body>
bool Measure(Timing& t, int who, Body body) {
  return vesk::bench::MeasureWarm(t, who, g_dir, g_warm, body);
}

void Print(const char* name, const Timing& t, const Timing& cp, int64_t mib) {
  const double wall = Median(t.wall);
  std::printf("%-16s wall %.3f s   cpu %.3f s   %6.0f MiB/s   ratio to cp %.2f\n", name, wall, Median(t.cpu),
              static_cast<double>(mib) / wall, wall / Median(cp.wall));
}

}  // namespace

int main(int argc, char** argv) {
  const auto [dir, mib, rounds] = vesk::bench::ParseSizeArgs(argc, argv, 1024);
  const std::string source = dir + "/vesk-bench.src";
  const std::string copy = dir + "/vesk-bench.cp";
  const std::string sealed = dir + "/vesk-bench.jmz";
  const std::string opened = dir + "/vesk-bench.out";
  for (const auto* f : {&source, &copy, &sealed, &opened}) vesk::DeleteFile(*f);

  WriteSource(source, mib << 20);
  ::sync();
  g_dir = dir;
  g_warm = mib << 20;

  QuietReporter reporter;
  vesk::keyed::SystemRandom random;
  const std::string key = "a key for the benchmark";
  BenchHost host;
  host.key = key;

  vesk::keyed::EncryptJob keyed;
  keyed.key = key;
  keyed.source_path = source;
  keyed.target_path = sealed;
  keyed.original_ext = ".src";
  vesk::keyed::DecryptJob unseal;
  unseal.source_path = sealed;
  unseal.original_ext = ".jmz";
  unseal.target_path = dir + "/vesk-bench";  // the stored ".src" is appended
  vesk::keyless::KeylessJob keyless;
  keyless.key = key;
  keyless.source_path = source;
  keyless.target_path = sealed;

  Timing cp, encrypt, decrypt, keyless_encrypt;
  bool ok = true;
  for (int round = 0; round < rounds && ok; ++round) {
    ok = Measure(cp, RUSAGE_CHILDREN, [&] { return RunCp(source, copy); });
    vesk::DeleteFile(copy);

    vesk::RunContext context{reporter, reporter, {}};
    ok = ok && Measure(encrypt, RUSAGE_SELF, [&] {
           return vesk::keyed::EncryptEngine(keyed, context, random).outcome == vesk::Outcome::kDone;
         });
    vesk::DeleteFile(copy);
    // Decrypting writes the source's name again: move the source aside.
    ok = ok && ::rename(source.c_str(), copy.c_str()) == 0;
    ok = ok && Measure(decrypt, RUSAGE_SELF, [&] {
           return vesk::keyed::DecryptFile(unseal, context, host).outcome == vesk::Outcome::kDone;
         });
    vesk::DeleteFile(source);
    ok = ok && ::rename(copy.c_str(), source.c_str()) == 0;
    vesk::DeleteFile(sealed);

    ok = ok && Measure(keyless_encrypt, RUSAGE_SELF, [&] {
           vesk::RunContext context{reporter, reporter, {}};
           return vesk::keyless::EncryptKeyless(keyless, context).Completed();
         });
    vesk::DeleteFile(sealed);
  }
  for (const auto* f : {&source, &copy, &sealed, &opened}) vesk::DeleteFile(*f);
  if (!ok) {
    std::fprintf(stderr, "benchmark run failed: %s\n", reporter.status.c_str());
    return 1;
  }
  std::printf("file size %lld MiB, median of %d runs\n", static_cast<long long>(mib), rounds);
  std::printf("%-16s wall %.3f s   cpu %.3f s\n", "cp", Median(cp.wall), Median(cp.cpu));
  Print("keyed encrypt", encrypt, cp, mib);
  Print("keyed decrypt", decrypt, cp, mib);
  Print("keyless encrypt", keyless_encrypt, cp, mib);
  return 0;
}
