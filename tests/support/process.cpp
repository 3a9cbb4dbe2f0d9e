#include "support/process.h"

#include <filesystem>

#include <fcntl.h>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <signal.h>
#include <sys/ioctl.h>

#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace vesk::testing {
namespace {

// Reads `fd` to its end; `seen` is called with everything read so far.
std::string Slurp(int fd, const std::function<void(const std::string&)>& seen = {}) {
  std::string out;
  char buf[4096];
  ssize_t n;
  while ((n = ::read(fd, buf, sizeof buf)) > 0) {
    out.append(buf, static_cast<std::size_t>(n));
    if (seen) seen(out);
  }
  ::close(fd);
  return out;
}

}  // namespace

std::string TestBuildOf(const std::string& program) {
  const std::filesystem::path path(program);
  if (path.parent_path().filename() != "bin") return program;
  const std::filesystem::path test_build = path.parent_path().parent_path() / "test-bin" / path.filename();
  return std::filesystem::exists(test_build) ? test_build.string() : program;
}

ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options) {
  int out_pipe[2], err_pipe[2];
  if (::pipe(out_pipe) != 0 || ::pipe(err_pipe) != 0) throw std::runtime_error("pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
  posix_spawn_file_actions_addclose(&actions, out_pipe[0]);
  posix_spawn_file_actions_addclose(&actions, err_pipe[0]);

  std::map<std::string, std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string kv = *e;
    auto eq = kv.find('=');
    if (eq != std::string::npos) env[kv.substr(0, eq)] = kv.substr(eq + 1);
  }
  for (const auto& [k, v] : options.env) env[k] = v;
  std::vector<std::string> env_strings;
  for (const auto& [k, v] : env) env_strings.push_back(k + "=" + v);
  std::vector<char*> envp, args;
  for (auto& s : env_strings) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::vector<std::string> argv_copy = argv;
  if (options.test_build && !argv_copy.empty()) argv_copy[0] = TestBuildOf(argv_copy[0]);
  for (auto& s : argv_copy) args.push_back(s.data());
  args.push_back(nullptr);

  pid_t pid = 0;
  int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  if (rc != 0) throw std::runtime_error("posix_spawn failed for " + argv[0]);
  if (options.close_stderr) ::close(err_pipe[0]);

  ProcessResult result;
  std::mutex mutex;
  std::condition_variable stopped;
  bool stop = false, exited = false;
  auto request_stop = [&] {
    std::lock_guard lock(mutex);
    stop = true;
    stopped.notify_all();
  };
  std::thread out_reader([&] { result.out = Slurp(out_pipe[0]); });
  std::thread err_reader([&] {
    if (options.close_stderr) return;
    result.err = Slurp(err_pipe[0], [&](const std::string& err) {
      if (options.stop_when && options.stop_when(err)) request_stop();
    });
  });
  std::thread stopper;
  if (options.stop_when) {
    stopper = std::thread([&] {
      std::unique_lock lock(mutex);
      stopped.wait_for(lock, options.stop_after, [&] { return stop || exited; });
      if (!exited) ::kill(pid, options.stop_signal);
    });
  }
  if (options.while_running) options.while_running(pid);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (stopper.joinable()) {
    {
      std::lock_guard lock(mutex);
      exited = true;
      stopped.notify_all();
    }
    stopper.join();
  }
  out_reader.join();
  err_reader.join();
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

int RunInTerminal(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                  const std::function<void(int master, int slave, int pid)>& talk) {
  int master = -1, slave = -1;
  if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) throw std::runtime_error("openpty");
  std::vector<std::string> argv_copy = argv;
  std::vector<char*> args;
  for (auto& a : argv_copy) args.push_back(a.data());
  args.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork");
  if (pid == 0) {
    ::setsid();
    ::ioctl(slave, TIOCSCTTY, 0);
    ::dup2(slave, 0);
    ::dup2(slave, 1);
    ::dup2(slave, 2);
    ::close(master);
    if (slave > 2) ::close(slave);
    for (const auto& [k, v] : env) ::setenv(k.c_str(), v.c_str(), 1);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  talk(master, slave, pid);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ::close(master);
  ::close(slave);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

ProcessOptions SignalOnCue(int sig, const std::string& cue, int occurrence) {
  ProcessOptions options;
  options.stop_signal = sig;
  options.stop_when = [cue, occurrence](const std::string& err) {
    int seen = 0;
    for (std::size_t at = err.find(cue); at != std::string::npos; at = err.find(cue, at + cue.size())) {
      if (++seen >= occurrence) return true;
    }
    return false;
  };
  return options;
}

ProcessOptions CancelMidRun(int sig, const std::string& cue, int run) {
  ProcessOptions options = SignalOnCue(sig, cue, run);
  options.env["VESK_TEST_HOLD_UNTIL_CANCEL"] = std::to_string(run);
  options.test_build = true;
  return options;
}

}  // namespace vesk::testing
