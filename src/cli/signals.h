// The signals that end a command-line run: SIGINT, SIGTERM, SIGHUP, and a
// SIGPIPE sent by another process. They are blocked in every thread and taken
// by one watcher thread, so that
//  - the first one asks the running command to cancel (its partial and
//    temporary files are deleted as after a cancel in the window), and a
//    second one ends the process at once;
//  - a write to a closed pipe (standard error gone, say), whose SIGPIPE
//    belongs to the writing thread, only fails with EPIPE and never ends
//    the run;
//  - a key prompt that hid the typed characters gets the terminal's echo
//    back before the process ends.
#pragma once

#include <termios.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>

namespace vesk::cli {

// Blocks the signals in the calling thread, and so in every thread it creates
// afterwards, and starts the watcher (once per process). Call it before any
// other thread is created.
void WatchSignals();

// Waits until a signal has been taken and its cancel handler has run (at
// once when one already has), at most `limit`; false when none came. For the
// test hold of the command-line port.
bool AwaitCancelSignal(std::chrono::milliseconds limit);

// What the first signal does, on the watcher thread (which must not call back
// into this unit); none: the process ends.
void SetCancelHandler(std::function<void(int signal)> handler);

// For the lifetime of the guard, the first signal sets `flag` (the run then
// stops at its next check); a second one ends the process. WatchSignals must
// have been called.
class CancelOnSignal {
 public:
  explicit CancelOnSignal(std::atomic<bool>& flag) {
    flag = false;
    SetCancelHandler([&flag](int) { flag = true; });
  }
  ~CancelOnSignal() { SetCancelHandler(nullptr); }
  CancelOnSignal(const CancelOnSignal&) = delete;
  CancelOnSignal& operator=(const CancelOnSignal&) = delete;
};

// The terminal settings to put back on `fd` (standard input unless named)
// before the process ends by a signal; none when nothing needs restoring.
void SetTerminalToRestore(std::optional<termios> settings, int fd = 0);

}  // namespace vesk::cli
