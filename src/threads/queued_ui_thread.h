// A user-interface thread made of a queue of calls: the thread that constructs
// it is the UI thread, and calls handed over from other threads wait in the
// queue until that thread runs them. The command-line front end and the tests
// pump it with RunUntil/RunFor; a toolkit front end installs a wake callback
// that schedules ProcessPending in its own event loop.
//
// Lifetime rules:
//  - The queue must outlive every thread that may call Synchronize or Post on
//    it. Components that own workers (the compression component) stop and wait
//    for them in their destructors, so destroying those first is enough.
//  - A call may run, and the queue be destroyed after it, while the thread
//    that queued it is still leaving Post or Synchronize; the destructor waits
//    for such threads, so this is safe.
//  - Destroying the queue drops the calls still queued. A thread that is still
//    blocked in Synchronize at that moment is released: Synchronize throws
//    UiThreadClosed in it, and the call has not run. This is a safety net for
//    a faulty shutdown order, not a way to end workers.
//  - Destroy it on its own UI thread, never from inside one of its calls.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "threads/ui_thread.h"

namespace vesk {

// Thrown by Synchronize when the queue was closed before the call could run.
class UiThreadClosed : public std::runtime_error {
 public:
  UiThreadClosed() : std::runtime_error("the user-interface thread has closed") {}
};

class QueuedUiThread final : public UiThread {
 public:
  QueuedUiThread();
  ~QueuedUiThread() override;
  QueuedUiThread(const QueuedUiThread&) = delete;
  QueuedUiThread& operator=(const QueuedUiThread&) = delete;

  // From another thread: queues `fn` and blocks until the UI thread has run
  // it; an exception `fn` throws is rethrown here. On the UI thread: runs `fn`
  // at once.
  void Synchronize(std::function<void()> fn) override;
  // Queues `fn` without waiting, from any thread (the UI thread too). An
  // exception it throws leaves ProcessPending; the calls behind it stay queued.
  void Post(std::function<void()> fn) override;
  // On the UI thread: runs the calls queued before it was called, oldest
  // first; calls queued meanwhile wait for the next round. Nested rounds (a
  // call that itself pumps) keep the order. Does nothing on other threads.
  void ProcessPending() override;
  bool IsUiThread() const override;

  // Called after every enqueue, on the enqueuing thread, outside the lock; a
  // toolkit front end uses it to schedule ProcessPending in its event loop.
  void SetWakeCallback(std::function<void()> wake);

  // Makes a waiting RunUntil/RunFor look at its condition again; for
  // conditions that change without a call being queued. Any thread.
  void Wake();

  // On the UI thread: runs queued calls until `done()` is true. `done` is
  // tested first, after every round of calls, and after every Wake(); between
  // those the thread sleeps on a condition variable.
  void RunUntil(const std::function<bool()>& done);
  // The same with a time limit; false when it passed with `done()` false.
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
  // Runs queued calls for `duration`, then returns.
  void RunFor(std::chrono::milliseconds duration);

  // Number of calls waiting in the queue.
  std::size_t PendingCount() const;

 private:
  // What a blocked Synchronize waits on; shared so that a closing queue can
  // release the waiter without the waiter touching the queue again.
  struct Completion {
    std::mutex mutex;
    std::condition_variable cv;
    bool finished = false;
    bool ran = false;
    std::exception_ptr error;
  };
  struct Call {
    std::function<void()> fn;
    std::shared_ptr<Completion> completion;  // null for posted calls
  };

  void Enqueue(Call call);
  static void Finish(Completion& c, bool ran, std::exception_ptr error);
  // Pumps until `done()` or `deadline` (time_point::max() for none).
  bool Pump(const std::function<bool()>& done, std::chrono::steady_clock::time_point deadline);

  const std::thread::id owner_;
  mutable std::mutex mutex_;
  std::condition_variable arrived_;  // a call was queued or Wake() was called
  std::condition_variable left_;     // a thread left Enqueue
  std::deque<Call> queue_;
  uint64_t wakes_ = 0;
  int enqueuing_ = 0;  // threads inside Enqueue
  bool closed_ = false;
  std::function<void()> wake_;
};

}  // namespace vesk
