#include "threads/worker.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace vesk {
namespace {

std::mutex g_mutex;
std::condition_variable g_done;
int g_running = 0;
std::function<void()> g_on_end;  // guarded by g_mutex

}  // namespace

void StartWorker(std::function<void()> body) {
  {
    std::lock_guard lock(g_mutex);
    ++g_running;
  }
  std::thread([body = std::move(body)]() mutable {
    try {
      body();
    } catch (...) {
      // An operation reports its own failures; whatever escapes ends silently.
    }
    body = nullptr;  // release what the operation captured before signalling
    std::lock_guard lock(g_mutex);
    --g_running;
    g_done.notify_all();
    // Under the lock, so that the observer's owner can remove it safely.
    if (g_on_end) g_on_end();
  }).detach();
}

int RunningWorkers() {
  std::lock_guard lock(g_mutex);
  return g_running;
}

bool WaitForWorkers(std::chrono::milliseconds timeout) {
  std::unique_lock lock(g_mutex);
  return g_done.wait_for(lock, timeout, [] { return g_running == 0; });
}

void SetWorkerEndObserver(std::function<void()> observer) {
  std::lock_guard lock(g_mutex);
  g_on_end = std::move(observer);
}

}  // namespace vesk
