// One stop source per run: the front end (a cancel click, Ctrl-C, a signal)
// requests the stop, the run's workers poll their token between units of
// work. A token outlives its source safely; a default token never stops.
#pragma once

#include <atomic>
#include <memory>

namespace vesk {

class StopToken {
 public:
  StopToken() = default;
  bool StopRequested() const { return state_ != nullptr && state_->load(std::memory_order_relaxed); }
  // The run goes on: the opposite of StopRequested, for loops that poll.
  bool KeepGoing() const { return !StopRequested(); }

 private:
  friend class StopSource;
  explicit StopToken(std::shared_ptr<const std::atomic<bool>> state) : state_(std::move(state)) {}
  std::shared_ptr<const std::atomic<bool>> state_;
};

class StopSource {
 public:
  StopSource() : state_(std::make_shared<std::atomic<bool>>(false)) {}
  StopToken Token() const { return StopToken(state_); }
  // From any thread, any number of times.
  void RequestStop() const { state_->store(true); }
  bool StopRequested() const { return state_->load(); }

 private:
  std::shared_ptr<std::atomic<bool>> state_;
};

}  // namespace vesk
