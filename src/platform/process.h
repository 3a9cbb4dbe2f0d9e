// Starting other programs: the desktop's database tools after a change of
// the file association, and the page opener of the help items. Nothing here
// goes through a shell, so no path is ever interpreted as a command.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vesk {

// The first executable regular file named `name` in the folders of
// `path_variable` (separated by ":"; empty and relative entries, which
// would mean the working folder's, are skipped). A name with a "/" is
// taken as it is.
std::optional<std::string> FindProgram(std::string_view name, std::string_view path_variable);
// The same on the process's PATH.
std::optional<std::string> FindProgramOnPath(std::string_view name);

// Runs `argv` (argv[0] a path) with standard input and output on /dev/null
// and waits for it. The exit status, or -1 when it could not be started or
// ended by a signal.
int RunProgram(const std::vector<std::string>& argv);

// Runs `argv` (argv[0] a path) in a session of its own, so that it has no
// terminal to ask on: its standard input on the descriptor `input`, `fd3`
// as its descriptor 3, its output and error on /dev/null, and our
// environment without the variables named in `without`; waits for it. The
// exit status, or -1 as above.
int RunWithoutTerminal(const std::vector<std::string>& argv, int input, int fd3,
                       const std::vector<std::string_view>& without);

// Starts `argv` in a session of its own, its output on /dev/null, and calls
// `on_exit` with its exit status (-1 as above) from a background thread once
// it ends, however long that takes. False (and no call) when it could not be
// started.
bool StartWatched(const std::vector<std::string>& argv, std::function<void(int)> on_exit);

// A program that this one talks to through its standard input and output
// (its standard error is ours). The destructor ends one still running.
class PipedProcess {
 public:
  PipedProcess() = default;
  ~PipedProcess();
  PipedProcess(const PipedProcess&) = delete;
  PipedProcess& operator=(const PipedProcess&) = delete;

  // Starts `argv` (argv[0] a path); false when it could not be started.
  bool Start(const std::vector<std::string>& argv);
  // Writes all of `bytes` to its input; false when it no longer reads.
  bool Write(std::string_view bytes);
  // Reads its output as read(2) does (EINTR retried): 0 at its end, -1 on failure.
  long Read(void* buf, std::size_t n);
  // Ends its input (it sees the end of its standard input).
  void CloseInput();
  // Ends its input and waits for it: its exit status, or -1.
  int Wait();

 private:
  int pid_ = -1;
  int in_ = -1;
  int out_ = -1;
};

}  // namespace vesk
