// Waiting for another thread without sleeping, for a moment.
//
// A hand-over between two threads (a call run on the user-interface thread
// and its caller resuming) usually completes within microseconds, but a
// thread that went to sleep first needs a wake-up, which costs tens of
// microseconds (far more on virtual machines) each way. Looking for the
// condition for a short while before sleeping avoids that for the common
// quick hand-over; a long wait then sleeps as before.
#pragma once

#include <chrono>

namespace vesk {

inline constexpr std::chrono::microseconds kSpinBeforeSleeping{50};

// Asks `ready()` again and again for up to kSpinBeforeSleeping; true as soon
// as it answers true, false when the time is up.
template <typename Ready>
bool SpinBriefly(Ready&& ready) {
  const auto until = std::chrono::steady_clock::now() + kSpinBeforeSleeping;
  for (unsigned i = 1;; ++i) {
    if (ready()) return true;
    if (i % 32 == 0 && std::chrono::steady_clock::now() >= until) return false;
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
  }
}

}  // namespace vesk
