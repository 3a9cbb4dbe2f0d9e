// A file run made on a thread of its own leaves nothing of libcrypto's behind
// on that thread when it returns: a front end counts its worker as ended
// before the thread is gone and may exit at once, and whatever libcrypto
// still held for the thread was then lost.
//
// libcrypto's allocations are counted through its memory hooks, which must
// be installed before its first allocation: this test has a program of its own.
#include <openssl/crypto.h>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <thread>

#include "crypto/age_files/engine.h"
#include "crypto/age_files/key_files.h"
#include "support/recording_reporter.h"
#include "support/temp_dir.h"

namespace vesk::age_files {
namespace {

using vesk::testing::RecordingReporter;
using vesk::testing::TempDir;

std::atomic<long> g_live{0};  // libcrypto's allocations not yet freed

void* CountedMalloc(std::size_t n, const char*, int) {
  void* p = std::malloc(n);
  if (p != nullptr) ++g_live;
  return p;
}
void* CountedRealloc(void* p, std::size_t n, const char*, int) {
  void* q = std::realloc(p, n);
  if (p == nullptr && q != nullptr) ++g_live;
  return q;
}
void CountedFree(void* p, const char*, int) {
  if (p != nullptr) --g_live;
  std::free(p);
}
const bool g_counting = CRYPTO_set_mem_functions(CountedMalloc, CountedRealloc, CountedFree) == 1;

class AgeThreadState : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(g_counting) << "libcrypto allocated before its hooks were installed";
    auto id = GenerateIdentity(std::time(nullptr));
    ASSERT_TRUE(id.has_value());
    WriteNewKeyFile(dir_.File("id.txt"), id->file_text);
    recipient_ = id->public_key;
    vesk::testing::WriteFile(dir_.File("plain"), vesk::testing::RandomBytes(40 * 64 * 1024, 9));
  }

  RunResult Encrypt(const std::string& target) {
    EncryptJob job;
    job.source_path = dir_.File("plain");
    job.target_path = target;
    job.recipients = {recipient_};
    job.threads = 2;
    reporter_.BeginRun();
    reporter_.RunEngine([&](RunContext& c) { return EncryptFile(job, c); });
    return reporter_.Result();
  }
  // Decrypts sealed.age; cancelled at the first bar move when `cancel`.
  RunResult Decrypt(const std::string& target, bool cancel) {
    DecryptJob job;
    job.source_path = dir_.File("sealed.age");
    job.target_path = target;
    job.identity_files = {dir_.File("id.txt")};
    job.threads = 2;
    reporter_.on_bar_position = [this, cancel](int64_t) {
      if (cancel) reporter_.RequestRunStop();
    };
    reporter_.BeginRun();
    reporter_.RunEngine([&](RunContext& c) { return DecryptFile(job, c); });
    return reporter_.Result();
  }

  // libcrypto's allocations gained by running `run` on a new thread, counted
  // as it returns, before the thread ends.
  template <typename Run>
  long GainedOnAThread(Run run) {
    long gained = 0;
    std::thread([&] {
      const long before = g_live.load();
      run();
      gained = g_live.load() - before;
    }).join();
    return gained;
  }

  TempDir dir_;
  RecordingReporter reporter_;
  std::string recipient_;
};

TEST_F(AgeThreadState, RunsOnTheirOwnThreadLeaveNoLibcryptoStateThere) {
  // Once on this thread first, so that libcrypto's lasting set-up (its
  // providers, algorithm caches and shared random generator) exists.
  ASSERT_EQ(Encrypt(dir_.File("sealed.age")).outcome, Outcome::kDone);
  ASSERT_EQ(Decrypt(dir_.File("warm"), false).outcome, Outcome::kDone);

  Outcome outcome = Outcome::kNone;
  EXPECT_EQ(GainedOnAThread([&] { outcome = Encrypt(dir_.File("again.age")).outcome; }), 0);
  EXPECT_EQ(outcome, Outcome::kDone);
  EXPECT_EQ(GainedOnAThread([&] { outcome = Decrypt(dir_.File("back"), false).outcome; }), 0);
  EXPECT_EQ(outcome, Outcome::kDone);
  EXPECT_EQ(GainedOnAThread([&] { outcome = Decrypt(dir_.File("cut"), true).outcome; }), 0);
  EXPECT_EQ(outcome, Outcome::kCancelled);
}

}  // namespace
}  // namespace vesk::age_files
