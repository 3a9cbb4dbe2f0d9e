// Runs a program as a child process with given environment additions and
// captures its exit status, standard output and standard error.
#pragma once

#include <csignal>
#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace vesk::testing {

struct ProcessResult {
  int status = -1;  // exit status, or 128 + signal
  std::string out;
  std::string err;
};

struct ProcessOptions {
  std::map<std::string, std::string> env;  // added to the parent's environment
  // Runs the test build of a program of the build's bin folder instead (the
  // one with the signal tests' hold, in the folder test-bin beside it).
  bool test_build = false;
  // Called with the child's pid once it runs (e.g. to send it a signal).
  std::function<void(int pid)> while_running;
  // The reading end of the child's standard error is closed at once, as when
  // the program it wrote to has gone.
  bool close_stderr = false;
  // For a program that runs until it is stopped: it gets `stop_signal` once
  // its standard error satisfies `stop_when`, or after `stop_after` at the
  // latest.
  std::function<bool(const std::string& err)> stop_when;
  std::chrono::milliseconds stop_after{30000};
  int stop_signal = SIGTERM;
};

// Options that send `sig` once the program's standard error holds `cue` for
// the `occurrence`-th time: the run has visibly reached that stage, so the
// signal meets its handler, whatever the build's start-up costs.
ProcessOptions SignalOnCue(int sig, const std::string& cue, int occurrence = 1);
// SignalOnCue for a vesk-cli run that must be cancelled: the test hold
// (VESK_TEST_HOLD_UNTIL_CANCEL) keeps the `run`-th run of the process at its
// first bar move until the signal has stopped it, so the signal always lands
// mid-run. `cue` is shown once per run, so the run-th cue is that run's.
ProcessOptions CancelMidRun(int sig, const std::string& cue, int run = 1);

ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {});
// The test build of `program` when it is one of the build's programs and its
// test build exists, else `program`.
std::string TestBuildOf(const std::string& program);

// The child runs on a new pseudo-terminal as its controlling terminal and
// standard input, output and error. `talk` gets the terminal's master side
// (to read what the child writes and to type into it) and its slave side
// (whose settings are the terminal's). Returns the exit status as
// RunProcess does.
int RunInTerminal(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                  const std::function<void(int master, int slave, int pid)>& talk);

}  // namespace vesk::testing
