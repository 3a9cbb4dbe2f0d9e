#include "cli/signals.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace vesk::cli {
namespace {

std::mutex g_mutex;
std::function<void(int)> g_handler;
std::optional<termios> g_terminal;
int g_terminal_fd = STDIN_FILENO;  // where g_terminal goes back
bool g_cancelled = false;
bool g_handled = false;  // a cancel handler has run
std::condition_variable g_handled_cv;

sigset_t WatchedSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&set, sig);
  return set;
}

[[noreturn]] void EndBySignal(int sig) {
  ::signal(sig, SIG_DFL);
  sigset_t one;
  sigemptyset(&one);
  sigaddset(&one, sig);
  ::pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
  ::raise(sig);
  ::_exit(128 + sig);  // not reached: the default action ends the process
}

void Watch(sigset_t set) {
  for (;;) {
    siginfo_t info{};
    const int sig = ::sigwaitinfo(&set, &info);
    if (sig < 0) continue;  // EINTR
    // Under the lock, so that the handler's owner cannot go while it runs.
    std::lock_guard lock(g_mutex);
    if (g_terminal) ::tcsetattr(g_terminal_fd, TCSANOW, &*g_terminal);
    if (!g_handler || g_cancelled) EndBySignal(sig);
    g_cancelled = true;
    g_handler(sig);
    g_handled = true;
    g_handled_cv.notify_all();
  }
}

}  // namespace

void WatchSignals() {
  static std::once_flag once;
  std::call_once(once, [] {
    const sigset_t set = WatchedSignals();
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread(Watch, set).detach();
  });
}

bool AwaitCancelSignal(std::chrono::milliseconds limit) {
  std::unique_lock lock(g_mutex);
  return g_handled_cv.wait_for(lock, limit, [] { return g_handled; });
}

void SetCancelHandler(std::function<void(int)> handler) {
  std::lock_guard lock(g_mutex);
  g_handler = std::move(handler);
  g_cancelled = false;
}

void SetTerminalToRestore(std::optional<termios> settings, int fd) {
  std::lock_guard lock(g_mutex);
  g_terminal = settings;
  g_terminal_fd = fd;
}

}  // namespace vesk::cli
