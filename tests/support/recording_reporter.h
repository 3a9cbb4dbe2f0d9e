// A Reporter that records everything an engine shows and answers questions
// from a script, for tests that run engines without a window.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "app/control.h"
#include "core/reporting.h"
#include "core/run_context.h"

namespace vesk::testing {

struct ControlRecord {
  bool enabled = true;
  int tag = 0;
  std::string caption;
};

// It applies the window's command-state rules to a map of controls, so that
// engine tests see what a window would show.
class RecordingReporter : public Reporter, public ControlSink {
 public:
  RecordingReporter();

  void ReportMessage(const std::string& text) override;
  void ShowStatus(const std::string& text) override;
  bool AskYesNo(const std::string& text, const std::string& caption) override;
  void ShowHint(Hint which, const std::string& text) override;
  void SetCommandState(Operation op, bool enabled) override;

  // Runs an engine that returns its result as a front end does: with this
  // reporter as its progress and questions and the run's stop token (stopped
  // by RequestRunStop); the result recorded and its ending shown.
  RunResult RunEngine(const std::function<RunResult(RunContext&)>& engine) {
    RunContext context{*this, *this, RunStopToken()};
    const RunResult result = engine(context);
    Record(result);
    ShowEnding(result, *this, *this);
    return result;
  }

  // Scripted answers, consumed in order; `default_answer` when none is left.
  void QueueAnswers(std::initializer_list<bool> answers);
  bool default_answer = false;

  // Called (with the question text) before each answer; tests use it to
  // act at a precise moment, for example to cancel mid-run.
  std::function<void(const std::string&)> on_question;
  // Called on every bar move with the new position.
  std::function<void(int64_t)> on_bar_position;

  std::vector<std::string> messages;
  std::vector<std::string> statuses;
  std::vector<std::pair<std::string, std::string>> questions;  // text, caption
  std::vector<int64_t> bar_positions;
  std::vector<int64_t> bar_ranges;
  std::map<Hint, std::string> hints;  // the last text of each
  std::map<Control, ControlRecord> controls;
  int beeps = 0;
  int compression_stops = 0;

  std::string Status() const { return statuses.empty() ? std::string() : statuses.back(); }

 protected:
  void OnBarRange(int64_t max) override;
  void OnBarPosition(int64_t position) override;
  void SetControlEnabled(Control c, bool enabled) override;
  void SetControlTag(Control c, int tag) override;
  void SetControlCaption(Control c, const std::string& caption) override;
  void StopCompression() override;

 public:
  void Beep() override;

 private:
  std::mutex mutex_;
  std::deque<bool> answers_;
};

}  // namespace vesk::testing
