// The reporting interface every long operation uses to talk to the user: a
// message box, a status line, yes/no questions, a 64-bit progress bar, the
// busy or idle state of its operation and the stop of the current run.
//
// The arithmetic (progress throttling, command-state rules) lives here once;
// a front end supplies only the widget hooks. Workers call the interface from
// their own thread, so a front end that owns real widgets marshals the hooks.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "core/progress.h"
#include "core/prompter.h"
#include "core/run_result.h"
#include "core/stop.h"

namespace vesk {

// The operations whose command the window shows as busy or idle. An engine
// names its own when it ends; the front end decides what that shows.
enum class Operation {
  Encrypt,
  Decrypt,
  MenuCommand,  // the popup-menu commands that share one busy state
  CreateSelfDecrypting,
  SelfDecrypt,
  Separate,
  Shred,
  KeylessEncrypt,
  KeylessDecrypt,
};

// What the engines talk to: the run's progress, its questions, and (until
// every engine returns its result) the record of how the run ended.
class Reporter : public Progress, public Prompter {
 public:
  Reporter() = default;
  ~Reporter() override = default;

  // A failure that stopped the run; it ends the run as kFailed. A front end
  // whose user cancelled the run meanwhile may leave it unshown: the cancel
  // has said what happened.
  virtual void ReportStoppedByFailure(const std::string& text) {
    EndRun(Outcome::kFailed, text);
    ReportMessage(text);
  }

  // Shows the command of `op` busy (enabled false) or every command idle
  // again (enabled true). A failure there only beeps.
  virtual void SetCommandState(Operation op, bool enabled) = 0;

  // ---- The typed result of the current run ---------------------------------
  // Forgets the previous run's result and gives the run a stop source of its
  // own; every command start calls it.
  void BeginRun();
  // The stop token of the current run; StopAll and RequestRunStop stop it.
  StopToken RunStopToken() const;
  void RequestRunStop();
  // Records the result an engine returned: completed (after damage, when it
  // was warned about) or ended otherwise.
  void Record(const RunResult& result);
  // A warning that the source is damaged, shown as a message; the run may
  // still complete, and then ends as kDoneAfterDamage.
  void WarnDamage(const std::string& text);
  // The source is known to be damaged (warned about before the run began).
  void NoteDamage();
  // The run completed and wrote `written`.
  void Complete(std::vector<std::string> written);
  // The run ended otherwise (refused, cancelled or failed) for `reason`. A
  // completed run stays completed: a cancel that comes after the last write
  // does not undo it.
  void EndRun(Outcome outcome, const std::string& reason);
  RunResult Result() const;
  bool DamageWarned() const;

  // True when the file does not exist or was deleted.
  virtual bool DeleteIfExists(const std::string& path);

  // Stops the current run and every run that polls a stop of its own.
  void StopAll();
  // StopAll, then one round of pending window messages, then a pause (20 ms
  // unless set otherwise) that lets a stopped operation reach its next check.
  void StopAllAndYield();
  // A front end in which nothing else can be running needs no pause.
  void SetYieldPause(std::chrono::milliseconds pause) { yield_pause_ = pause; }


  // Signals a failure that is swallowed (the system beep).
  virtual void Beep() {}

  // Length of the running program's own file (0 when unknown) and of its
  // program image; the self-decrypt commands need a payload after the image.
  int64_t OwnFileSize() const { return own_file_size_; }
  void SetOwnFileSize(int64_t size) { own_file_size_ = size; }
  int64_t ImageSize() const { return image_size_; }
  void SetImageSize(int64_t size) { image_size_ = size; }

 protected:
  // Stops and waits for a running compression; nothing by default.
  virtual void StopCompression() {}
  // Requests the stop of the runs that poll a stop token of their own;
  // nothing by default.
  virtual void StopRuns() {}
  // Runs the window's pending messages once; nothing by default.
  virtual void ProcessPendingMessages() {}
  // The run has ended (Complete, or EndRun with a new outcome); nothing by
  // default.
  virtual void OnRunEnded() {}

 private:
  StopSource run_stop_;  // guarded by result_mutex_
  mutable std::mutex result_mutex_;
  RunResult result_;
  bool damage_warned_ = false;
  int64_t own_file_size_ = 0;
  int64_t image_size_ = 584192;
  std::chrono::milliseconds yield_pause_{20};
};

}  // namespace vesk
