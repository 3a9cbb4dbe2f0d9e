// The user-interface thread as the workers see it: a place to run a call and
// wait for it, or to post a call without waiting. The Qt window, the
// command-line front end and the tests each provide one.
#pragma once

#include <functional>

namespace vesk {

class UiThread {
 public:
  virtual ~UiThread() = default;
  // Runs `fn` on the user-interface thread and returns when it has returned.
  // Called on the user-interface thread itself, runs `fn` at once.
  virtual void Synchronize(std::function<void()> fn) = 0;
  // Queues `fn` to run on the user-interface thread; returns at once.
  virtual void Post(std::function<void()> fn) = 0;
  // On the user-interface thread: runs every call queued so far. Waits that
  // must keep the queued calls flowing (a stop that waits for a worker which
  // is itself waiting in Synchronize) call this while they wait.
  virtual void ProcessPending() = 0;
  virtual bool IsUiThread() const = 0;
};

}  // namespace vesk
