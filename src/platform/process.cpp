#include "platform/process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>
#include <utility>

extern char** environ;

namespace vesk {
namespace {

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// How a child is started: in a session of its own or not; its standard
// input and output on the given descriptors or on /dev/null (its standard
// error is ours when its output is given, else /dev/null too); `fd3` as its
// descriptor 3 when given, and no other descriptor of ours; our environment
// without the variables `without`.
struct Child {
  bool new_session = false;
  int in = -1;
  int out = -1;
  int fd3 = -1;
  const std::vector<std::string_view>* without = nullptr;
};

// Spawns `argv` as `child` says; the child's process id, or -1.
pid_t Spawn(const std::vector<std::string>& argv, const Child& child) {
  if (argv.empty()) return -1;
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<char*> env;
  if (child.without != nullptr) {
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string_view entry = *e;
      const std::string_view name = entry.substr(0, entry.find('='));
      bool kept = true;
      for (const std::string_view drop : *child.without) kept = kept && name != drop;
      if (kept) env.push_back(*e);
    }
    env.push_back(nullptr);
  }

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  if (posix_spawn_file_actions_init(&actions) != 0) return -1;
  if (posix_spawnattr_init(&attr) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return -1;
  }
  if (child.in >= 0) {
    posix_spawn_file_actions_adddup2(&actions, child.in, 0);
  } else {
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  }
  if (child.out >= 0) {
    posix_spawn_file_actions_adddup2(&actions, child.out, 1);
  } else {
    for (int fd : {1, 2}) posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_WRONLY, 0);
  }
  if (child.fd3 >= 0) posix_spawn_file_actions_adddup2(&actions, child.fd3, 3);
  // Nothing else of ours: a descriptor opened without close-on-exec (by us
  // or a library) must not reach a plugin or a helper program.
  posix_spawn_file_actions_addclosefrom_np(&actions, child.fd3 >= 0 ? 4 : 3);
  // The child starts with the default signal handling, whatever this
  // process has set up for Ctrl-C.
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGTERM);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  // Nor does it inherit signals this thread may have blocked.
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);
  short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
  if (child.new_session) flags |= POSIX_SPAWN_SETSID;
  posix_spawnattr_setflags(&attr, flags);

  pid_t pid = -1;
  const int error =
      ::posix_spawn(&pid, args[0], &actions, &attr, args.data(), child.without != nullptr ? env.data() : environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  return error == 0 ? pid : -1;
}

int WaitFor(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

std::optional<std::string> FindProgram(std::string_view name, std::string_view path_variable) {
  if (name.empty()) return std::nullopt;
  if (name.find('/') != std::string_view::npos) {
    std::string path(name);
    return IsExecutableFile(path) ? std::optional<std::string>(path) : std::nullopt;
  }
  for (std::size_t start = 0; start <= path_variable.size();) {
    std::size_t end = path_variable.find(':', start);
    if (end == std::string_view::npos) end = path_variable.size();
    // Only absolute folders: a relative one names the working folder's.
    if (end > start && path_variable[start] == '/') {
      std::string candidate(path_variable.substr(start, end - start));
      if (candidate.back() != '/') candidate += '/';
      candidate += name;
      if (IsExecutableFile(candidate)) return candidate;
    }
    start = end + 1;
  }
  return std::nullopt;
}

std::optional<std::string> FindProgramOnPath(std::string_view name) {
  const char* path = std::getenv("PATH");
  return FindProgram(name, path != nullptr ? path : "");
}

int RunProgram(const std::vector<std::string>& argv) {
  const pid_t pid = Spawn(argv, Child{});
  return pid < 0 ? -1 : WaitFor(pid);
}

int RunWithoutTerminal(const std::vector<std::string>& argv, int input, int fd3,
                       const std::vector<std::string_view>& without) {
  const pid_t pid = Spawn(argv, Child{.new_session = true, .in = input, .fd3 = fd3, .without = &without});
  return pid < 0 ? -1 : WaitFor(pid);
}

PipedProcess::~PipedProcess() {
  CloseInput();
  if (out_ >= 0) ::close(out_);
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    WaitFor(pid_);
  }
}

bool PipedProcess::Start(const std::vector<std::string>& argv) {
  int to_child[2], from_child[2];
  if (::pipe2(to_child, O_CLOEXEC) != 0) return false;
  if (::pipe2(from_child, O_CLOEXEC) != 0) {
    ::close(to_child[0]);
    ::close(to_child[1]);
    return false;
  }
  pid_ = Spawn(argv, Child{.in = to_child[0], .out = from_child[1]});
  ::close(to_child[0]);
  ::close(from_child[1]);
  in_ = to_child[1];
  out_ = from_child[0];
  if (pid_ < 0) {
    CloseInput();
    ::close(std::exchange(out_, -1));
    return false;
  }
  return true;
}

bool PipedProcess::Write(std::string_view bytes) {
  while (!bytes.empty() && in_ >= 0) {
    const ssize_t put = ::write(in_, bytes.data(), bytes.size());
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(put));
  }
  return bytes.empty();
}

long PipedProcess::Read(void* buf, std::size_t n) {
  for (;;) {
    const ssize_t got = ::read(out_, buf, n);
    if (got < 0 && errno == EINTR) continue;
    return static_cast<long>(got);
  }
}

void PipedProcess::CloseInput() {
  if (in_ >= 0) ::close(std::exchange(in_, -1));
}

int PipedProcess::Wait() {
  CloseInput();
  const int status = pid_ > 0 ? WaitFor(std::exchange(pid_, -1)) : -1;
  return status;
}

bool StartWatched(const std::vector<std::string>& argv, std::function<void(int)> on_exit) {
  const pid_t pid = Spawn(argv, Child{.new_session = true});
  if (pid < 0) return false;
  std::thread([pid, on_exit = std::move(on_exit)] {
    const int status = WaitFor(pid);
    if (on_exit) on_exit(status);
  }).detach();
  return true;
}

}  // namespace vesk
