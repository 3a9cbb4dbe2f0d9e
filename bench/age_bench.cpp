// Times age v1 encryption and decryption of a large file to an X25519
// recipient: this library against the age program (`age -r`, `age -d -i`)
// on the same file in the same run, and prints the medians and the ratios;
// then the same through vesk-cli, a process from file to file as `age` is,
// and `cp` of the same file. The goals: encryption and decryption at most
// 0.6 of the age program's time (0.8 on a busy disk), within 1.3 of cp's
// on an idle disk.
// Beside them, the encryption to a post-quantum (mlkem768x25519) recipient
// next to the X25519 one, in the library and through vesk-cli, with its ratio.
//
//   vesk_age_bench [directory] [size in MiB] [runs] [busy MiB]
//   (defaults: ".", 1024, 3, 0)
//   busy MiB > 0: each step is timed right after that many MiB of other
//   writes that are left for the system to write back (a busy disk), not
//   after a sync.
//   VESK_AGE_THREADS=n  this library's worker threads (default: one per processor)
//   VESK_BENCH_CLI=path another vesk-cli (an older build) for its rows
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "bench_support.h"
#include "crypto/age/age.h"
#include "crypto/age/hybrid_keys.h"
#include "platform/file_io.h"

namespace {

using vesk::bench::Median;
using vesk::bench::RunProgram;
using vesk::bench::Timing;

std::string g_dir;
int64_t g_warm = 0;

int64_t g_busy = 0;

template <typename Body>
bool Measure(Timing& t, int who, Body body) {
  if (g_busy == 0) return vesk::bench::MeasureWarm(t, who, g_dir, g_warm, body);
  // Other writes still on their way to the disk when the step starts.
  const std::string other = g_dir + "/vesk-bench.busy";
  vesk::bench::WriteSource(other, g_busy);
  const bool ok = vesk::bench::TimeOnce(t, who, body);
  vesk::DeleteFile(other);
  ::sync();
  return ok;
}

int64_t SizeOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

// Runs one of the library's calls from file to file.
template <typename Call>
bool FileToFile(const std::string& from, const std::string& to, Call call) {
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  bool ok = in >= 0 && out >= 0;
  std::atomic<bool> stop {false};
  if (ok) {
    const vesk::age::Result r = call(in, out, stop);
    if (!r.ok()) std::fprintf(stderr, "%s: %s\n", vesk::age::StatusName(r.status), r.detail.c_str());
    ok = r.ok();
  }
  if (in >= 0) ::close(in);
  if (out >= 0) ok = ::close(out) == 0 && ok;
  return ok;
}

void Print(const char* name, const Timing& ours, const Timing& theirs, const Timing& cp, int64_t mib, double goal,
           bool& met) {
  const double wall = Median(ours.wall), other = Median(theirs.wall), copy = Median(cp.wall);
  // The copy limit is a goal on an idle disk; right after other writes the
  // ratio to cp is shown but only the one to the age program counts.
  const bool idle = g_busy == 0;
  const bool ok = wall <= goal * other && (!idle || wall <= 1.3 * copy);
  met = met && ok;
  std::printf("%-12s ours %.3f s (cpu %.3f s, %5.0f MiB/s)   age %.3f s (cpu %.3f s)   ratio %.2f (goal <= %.1f)"
              "   to cp %.2f%s%s\n",
              name, wall, Median(ours.cpu), static_cast<double>(mib) / wall, other, Median(theirs.cpu), wall / other,
              goal, wall / copy, idle ? " (goal <= 1.3)" : "", ok ? "" : "   MISSED");
}

}  // namespace

int main(int argc, char** argv) {
  const auto [dir, mib, rounds] = vesk::bench::ParseSizeArgs(argc, argv, 1024);
  g_busy = argc > 4 ? std::max<int64_t>(0, std::atoll(argv[4])) << 20 : 0;
  const std::string source = dir + "/vesk-bench.src";
  const std::string key_file = dir + "/vesk-bench.key";
  const std::string ours_sealed = dir + "/vesk-bench.ours.age";
  const std::string age_sealed = dir + "/vesk-bench.age.age";
  const std::string opened = dir + "/vesk-bench.out";
  const std::string cli_sealed = dir + "/vesk-bench.cli.age";
  const std::string copy = dir + "/vesk-bench.cp";
  const std::string* files[] = {&source, &key_file, &ours_sealed, &age_sealed, &opened, &cli_sealed, &copy};
  const std::string cli = vesk::bench::CliPath();
  for (const auto* f : files) vesk::DeleteFile(*f);

  const auto identity = vesk::age::X25519Identity::Generate();
  if (!identity) return 1;
  const vesk::age::X25519Recipient recipient = identity->ToRecipient();
  const auto pq_identity = vesk::age::HybridIdentity::Generate();
  if (!pq_identity) return 1;
  const vesk::age::HybridRecipient pq_recipient = pq_identity->ToRecipient();
  {
    const vesk::age::SecretBytes text = vesk::age::KeyFileText(*identity, std::time(nullptr));
    const int fd = ::open(key_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0 || ::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) return 1;
    ::close(fd);
  }
  vesk::bench::WriteSource(source, mib << 20);
  ::sync();
  g_dir = dir;
  g_warm = mib << 20;
  const int64_t size = mib << 20;
  const char* threads_text = std::getenv("VESK_AGE_THREADS");
  const unsigned threads = threads_text != nullptr ? static_cast<unsigned>(std::atoi(threads_text)) : 0;
  vesk::age::EncryptOptions encrypt_options;
  encrypt_options.threads = threads;
  vesk::age::DecryptOptions decrypt_options;
  decrypt_options.threads = threads;

  Timing ours_enc, ours_dec, age_enc, age_dec, cli_enc, cli_dec, cp, pq_enc, cli_pq_enc;
  bool ok = true;
  // The post-quantum encryption goes before the X25519 one in odd rounds,
  // after it in even ones, so that neither always meets the other's writeback.
  const auto measure_pq = [&] {
    const bool done = Measure(pq_enc, RUSAGE_SELF, [&] {
      return FileToFile(source, opened, [&](int in, int out, std::atomic<bool>& stop) {
        return vesk::age::EncryptFd({&pq_recipient}, in, out, encrypt_options, stop);
      });
    });
    vesk::DeleteFile(opened);
    return done;
  };
  for (int round = 0; round < rounds && ok; ++round) {
    ok = Measure(cp, RUSAGE_CHILDREN, [&] { return vesk::bench::RunCp(source, copy); });
    vesk::DeleteFile(copy);
    ok = ok && (round % 2 == 0 || measure_pq());
    ok = ok && Measure(ours_enc, RUSAGE_SELF, [&] {
      return FileToFile(source, ours_sealed, [&](int in, int out, std::atomic<bool>& stop) {
        return vesk::age::EncryptFd({&recipient}, in, out, encrypt_options, stop);
      });
    });
    ok = ok && (round % 2 == 1 || measure_pq());
    ok = ok && Measure(age_enc, RUSAGE_CHILDREN, [&] {
      return RunProgram({"age", "-r", recipient.Encode(), "-o", age_sealed, source});
    });
    // Each side decrypts the other's file: the run doubles as a check.
    ok = ok && Measure(ours_dec, RUSAGE_SELF, [&] {
      return FileToFile(age_sealed, opened, [&](int in, int out, std::atomic<bool>& stop) {
        return vesk::age::DecryptFd({&*identity}, in, out, decrypt_options, stop);
      });
    });
    ok = ok && SizeOf(opened) == size;
    vesk::DeleteFile(opened);
    ok = ok && Measure(age_dec, RUSAGE_CHILDREN, [&] {
      return RunProgram({"age", "-d", "-i", key_file, "-o", opened, ours_sealed});
    });
    ok = ok && SizeOf(opened) == size;
    vesk::DeleteFile(opened);
    if (!cli.empty()) {
      ok = ok && Measure(cli_enc, RUSAGE_CHILDREN, [&] {
        return RunProgram({cli, "encrypt", source, "--format", "age", "--recipient", recipient.Encode(), "-o", cli_sealed});
      });
      vesk::DeleteFile(cli_sealed);
      ok = ok && Measure(cli_pq_enc, RUSAGE_CHILDREN, [&] {
        return RunProgram({cli, "encrypt", source, "--format", "age", "--recipient", pq_recipient.Encode(), "-o", cli_sealed});
      });
      ok = ok && Measure(cli_dec, RUSAGE_CHILDREN, [&] {
        return RunProgram({cli, "decrypt", age_sealed, "--identity", key_file, "-o", opened});
      });
      ok = ok && SizeOf(opened) == size;
      vesk::DeleteFile(opened);
      vesk::DeleteFile(cli_sealed);
    }
    vesk::DeleteFile(ours_sealed);
    vesk::DeleteFile(age_sealed);
  }
  for (const auto* f : files) vesk::DeleteFile(*f);
  if (!ok) {
    std::fprintf(stderr, "benchmark run failed (is age installed?)\n");
    return 1;
  }
  std::printf("file size %lld MiB, X25519 recipient, median of %d runs, %s worker threads, %s\n",
              static_cast<long long>(mib), rounds, threads == 0 ? "default" : std::to_string(threads).c_str(),
              g_busy == 0 ? "idle disk (synced before each step)"
                          : ("right after " + std::to_string(g_busy >> 20) + " MiB of other writes").c_str());
  std::printf("%-12s %.3f s (cpu %.3f s)\n", "cp", Median(cp.wall), Median(cp.cpu));
  const double goal = g_busy == 0 ? 0.6 : 0.8;
  bool met = true;
  Print("encrypt", ours_enc, age_enc, cp, mib, goal, met);
  Print("decrypt", ours_dec, age_dec, cp, mib, goal, met);
  if (!cli.empty()) {
    Print("cli encrypt", cli_enc, age_enc, cp, mib, goal, met);
    Print("cli decrypt", cli_dec, age_dec, cp, mib, goal, met);
  }
  // The post-quantum recipient against the X25519 one, same run.
  const auto against_x25519 = [&](const char* name, const Timing& pq, const Timing& x25519) {
    std::printf("%-12s mlkem768x25519 %.3f s (cpu %.3f s)   X25519 %.3f s (cpu %.3f s)   ratio %.3f (cpu %.3f)\n", name,
                Median(pq.wall), Median(pq.cpu), Median(x25519.wall), Median(x25519.cpu),
                Median(pq.wall) / Median(x25519.wall), Median(pq.cpu) / Median(x25519.cpu));
  };
  against_x25519("pq encrypt", pq_enc, ours_enc);
  if (!cli.empty()) against_x25519("pq cli enc", cli_pq_enc, cli_enc);
  std::printf("goals: %s\n", met ? "all met" : "some MISSED");
  return 0;
}
