// The peer programs of the age tests: found on PATH, and their prompts
// answered on a pseudo-terminal, as a person would (the age tool and
// vesk-cli read passphrases from their terminal only).
#pragma once

#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/process.h"

namespace vesk::testing {

// The program `name` on PATH, or "".
inline std::string FindProgram(const std::string& name) {
  std::stringstream dirs(std::getenv("PATH") != nullptr ? std::getenv("PATH") : "/usr/bin:/bin");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

// Runs `argv` on a new terminal and types `typed` at each of the first
// `prompts` prompts that contain `cue`; returns the exit status.
inline int OnTerminal(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
               const std::string& cue, const std::string& typed, int prompts, std::string* seen_out = nullptr) {
  return RunInTerminal(argv, env, [&](int master, int slave, int pid) {
    std::string seen;
    int answered = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
      pollfd p{master, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) {
        // The terminal stays open here, so its end is no sign: has the
        // program ended (looked at, not reaped)?
        siginfo_t info{};
        if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid) break;
        continue;
      }
      char buf[512];
      const ssize_t n = ::read(master, buf, sizeof buf);
      if (n <= 0) break;  // the program ended
      seen.append(buf, static_cast<std::size_t>(n));
      std::size_t count = 0;
      for (std::size_t at = 0; (at = seen.find(cue, at)) != std::string::npos; at += cue.size()) ++count;
      while (answered < static_cast<int>(count) && answered < prompts) {
        // A prompt is written before the echo goes off (and the input is
        // flushed then): type only once it is off.
        for (int i = 0; i < 500; ++i) {
          termios t{};
          if (::tcgetattr(slave, &t) == 0 && (t.c_lflag & ECHO) == 0) break;
          std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        const std::string line = typed + "\n";
        EXPECT_EQ(::write(master, line.data(), line.size()), static_cast<ssize_t>(line.size()));
        ++answered;
      }
    }
    EXPECT_EQ(answered, prompts) << seen;
    if (seen_out != nullptr) *seen_out = seen;
  });
}

}  // namespace vesk::testing
