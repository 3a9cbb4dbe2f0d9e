// The signal tests' hold: a test build can keep one run of the process at its
// first bar move until a signal has stopped it, so that the signal always
// meets the run while it is going. The shipped programs link the definition
// in test_hold.cpp, which never holds; the test builds of vesk-cli and
// vesk-sfx replace it with one of their own.
#pragma once

#include <chrono>
#include <functional>

namespace vesk::cli {

// The number of the run (counting from 1) to hold, 0 for none.
int TestHoldRun();

// Counts one more run of the process that may be held: its number.
int CountHeldRun();

// Holds the calling thread, when `run` is the one to hold: until a signal
// has come and `stopped()` is true, at most `limit`.
void HoldUntilStopped(int run, const std::function<bool()>& stopped,
                      std::chrono::milliseconds limit = std::chrono::seconds(60));

}  // namespace vesk::cli
