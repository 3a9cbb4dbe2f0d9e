#include "core/reporting.h"

#include <thread>

#include "platform/file_io.h"

namespace vesk {

void Reporter::BeginRun() {
  ResetStages();
  std::lock_guard lock(result_mutex_);
  result_ = RunResult{};
  damage_warned_ = false;
  run_stop_ = StopSource();
}

StopToken Reporter::RunStopToken() const {
  std::lock_guard lock(result_mutex_);
  return run_stop_.Token();
}

void Reporter::RequestRunStop() {
  std::lock_guard lock(result_mutex_);
  run_stop_.RequestStop();
}

void Reporter::Record(const RunResult& result) {
  if (result.Completed()) {
    if (result.outcome == Outcome::kDoneAfterDamage) NoteDamage();
    Complete(result.written);
  } else {
    EndRun(result.outcome == Outcome::kNone ? Outcome::kFailed : result.outcome, result.reason);
  }
}

void Reporter::WarnDamage(const std::string& text) {
  {
    std::lock_guard lock(result_mutex_);
    damage_warned_ = true;
  }
  ReportMessage(text);
}

void Reporter::NoteDamage() {
  std::lock_guard lock(result_mutex_);
  damage_warned_ = true;
}

void Reporter::Complete(std::vector<std::string> written) {
  {
    std::lock_guard lock(result_mutex_);
    result_.outcome = damage_warned_ ? Outcome::kDoneAfterDamage : Outcome::kDone;
    result_.written = std::move(written);
    result_.reason.clear();
  }
  OnRunEnded();
}

void Reporter::EndRun(Outcome outcome, const std::string& reason) {
  {
    std::lock_guard lock(result_mutex_);
    if (result_.Completed()) return;
    result_.outcome = outcome;
    result_.reason = reason;
  }
  OnRunEnded();
}

RunResult Reporter::Result() const {
  std::lock_guard lock(result_mutex_);
  return result_;
}

bool Reporter::DamageWarned() const {
  std::lock_guard lock(result_mutex_);
  return damage_warned_;
}

bool Reporter::DeleteIfExists(const std::string& path) {
  if (!PathExists(path)) return true;
  return DeleteFile(path);
}

void Reporter::StopAll() {
  try {
    StopCompression();
    RequestRunStop();
    StopRuns();
  } catch (...) {
    Beep();
  }
}

void Reporter::StopAllAndYield() {
  StopAll();
  ProcessPendingMessages();
  if (yield_pause_.count() > 0) std::this_thread::sleep_for(yield_pause_);
}

}  // namespace vesk
