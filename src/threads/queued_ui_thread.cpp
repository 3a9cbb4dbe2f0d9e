#include "threads/queued_ui_thread.h"

#include <utility>

#include "threads/spin_wait.h"

namespace vesk {

QueuedUiThread::QueuedUiThread() : owner_(std::this_thread::get_id()) {}

QueuedUiThread::~QueuedUiThread() {
  std::deque<Call> dropped;
  {
    std::unique_lock lock(mutex_);
    closed_ = true;
    // A thread still inside Enqueue (running the wake callback) has to be out
    // before the members go.
    left_.wait(lock, [&] { return enqueuing_ == 0; });
    dropped.swap(queue_);
  }
  for (Call& call : dropped) {
    call.fn = nullptr;
    if (call.completion) Finish(*call.completion, false, nullptr);
  }
}

bool QueuedUiThread::IsUiThread() const { return std::this_thread::get_id() == owner_; }

void QueuedUiThread::Synchronize(std::function<void()> fn) {
  if (IsUiThread()) {
    fn();
    return;
  }
  auto completion = std::make_shared<Completion>();
  Enqueue(Call{std::move(fn), completion});
  std::exception_ptr error;
  SpinBriefly([&] {
    std::unique_lock lock(completion->mutex, std::try_to_lock);
    return lock.owns_lock() && completion->finished;
  });
  {
    std::unique_lock lock(completion->mutex);
    completion->cv.wait(lock, [&] { return completion->finished; });
    if (!completion->ran) throw UiThreadClosed();
    error = std::exchange(completion->error, nullptr);  // the exception now belongs to this thread alone
  }
  if (error) std::rethrow_exception(error);
}

void QueuedUiThread::Post(std::function<void()> fn) { Enqueue(Call{std::move(fn), nullptr}); }

void QueuedUiThread::Enqueue(Call call) {
  std::function<void()> wake;
  {
    std::lock_guard lock(mutex_);
    if (closed_) {
      if (call.completion) throw UiThreadClosed();
      return;  // a posted call into a closing queue is dropped
    }
    queue_.push_back(std::move(call));
    wake = wake_;
    ++enqueuing_;
    // Notified under the lock: once the call has run, the UI thread may
    // destroy the queue, and this thread must not touch it by then.
    arrived_.notify_all();
  }
  struct Leave {
    QueuedUiThread& q;
    ~Leave() {
      std::lock_guard lock(q.mutex_);
      if (--q.enqueuing_ == 0) q.left_.notify_all();
    }
  } leave{*this};
  if (wake) wake();
}

void QueuedUiThread::Finish(Completion& c, bool ran, std::exception_ptr error) {
  {
    std::lock_guard lock(c.mutex);
    c.finished = true;
    c.ran = ran;
    c.error = std::move(error);
  }
  c.cv.notify_all();
}

void QueuedUiThread::ProcessPending() {
  if (!IsUiThread()) return;
  std::size_t round;
  {
    std::lock_guard lock(mutex_);
    round = queue_.size();
  }
  // One call at a time, so that a call which pumps again continues with the
  // next one in order instead of overtaking the rest of this round.
  for (; round > 0; --round) {
    Call call;
    {
      std::lock_guard lock(mutex_);
      if (queue_.empty()) return;
      call = std::move(queue_.front());
      queue_.pop_front();
    }
    if (!call.completion) {
      call.fn();
      continue;
    }
    std::exception_ptr error;
    try {
      call.fn();
    } catch (...) {
      error = std::current_exception();
    }
    call.fn = nullptr;  // release what the call captured before its caller resumes
    Finish(*call.completion, true, std::move(error));
  }
}

void QueuedUiThread::SetWakeCallback(std::function<void()> wake) {
  std::lock_guard lock(mutex_);
  wake_ = std::move(wake);
}

void QueuedUiThread::Wake() {
  std::lock_guard lock(mutex_);
  ++wakes_;
  arrived_.notify_all();
}

bool QueuedUiThread::Pump(const std::function<bool()>& done, std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    uint64_t seen;
    {
      std::lock_guard lock(mutex_);
      seen = wakes_;  // taken before `done` is asked, so no Wake() is missed
    }
    if (done()) return true;
    ProcessPending();
    if (done()) return true;
    const bool limited = deadline != std::chrono::steady_clock::time_point::max();
    if (limited && std::chrono::steady_clock::now() >= deadline) return false;
    auto ready = [&] { return !queue_.empty() || wakes_ != seen; };
    SpinBriefly([&] {
      std::unique_lock lock(mutex_, std::try_to_lock);
      return lock.owns_lock() && ready();
    });
    std::unique_lock lock(mutex_);
    if (!limited) {
      arrived_.wait(lock, ready);
    } else if (!arrived_.wait_until(lock, deadline, ready)) {
      lock.unlock();
      return done();
    }
  }
}

void QueuedUiThread::RunUntil(const std::function<bool()>& done) {
  Pump(done, std::chrono::steady_clock::time_point::max());
}

bool QueuedUiThread::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  return Pump(done, std::chrono::steady_clock::now() + timeout);
}

void QueuedUiThread::RunFor(std::chrono::milliseconds duration) {
  Pump([] { return false; }, std::chrono::steady_clock::now() + duration);
}

std::size_t QueuedUiThread::PendingCount() const {
  std::lock_guard lock(mutex_);
  return queue_.size();
}

}  // namespace vesk
