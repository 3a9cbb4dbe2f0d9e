#include "cli/test_hold.h"

#include <atomic>
#include <thread>

#include "cli/signals.h"

namespace vesk::cli {

// Weak: a test build's own definition takes its place.
[[gnu::weak]] int TestHoldRun() { return 0; }

int CountHeldRun() {
  static std::atomic<int> runs{0};
  return ++runs;
}

void HoldUntilStopped(int run, const std::function<bool()>& stopped, std::chrono::milliseconds limit) {
  if (run == 0 || run != TestHoldRun()) return;
  // Bounded, so that a program that misses the signal fails its test by
  // finishing instead of hanging it.
  const auto deadline = std::chrono::steady_clock::now() + limit;
  if (!AwaitCancelSignal(limit)) return;
  while (!stopped() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace vesk::cli
