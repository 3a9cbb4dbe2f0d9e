// A run's progress and questions on a terminal: messages and status lines go
// to standard error, a progress line is drawn there when it is a terminal,
// and questions are answered by --yes/--no or typed at the terminal. Used by
// every vesk-cli subcommand and by vesk-sfx.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "core/progress.h"
#include "core/prompter.h"

namespace vesk::cli {

enum class Answer { kAsk, kYes, kNo };

// Which cipher answers the engines' algorithm questions.
enum class Algorithm { kCurrent, kOld, kOlder };

struct TerminalOptions {
  Answer answer = Answer::kAsk;               // replace, version and cancel questions
  Algorithm algorithm = Algorithm::kCurrent;  // answers the algorithm questions
  bool interactive = false;                   // a terminal can answer kAsk questions
  bool progress = false;                      // draw the progress line

  // Interactive and progress from whether standard input and error are terminals.
  static TerminalOptions ForThisProcess(Answer answer, Algorithm algorithm = Algorithm::kCurrent);
};

class Terminal : public Progress, public Prompter {
 public:
  explicit Terminal(TerminalOptions options);
  ~Terminal() override;

  // Prompter.
  void ReportMessage(const std::string& text) override;
  bool AskYesNo(const std::string& text, const std::string& caption) override;
  bool AskAlgorithm(AlgorithmQuestion which, const std::string& text, const std::string& caption) override;
  void ShowAnswered(const std::string& text, const std::string& /*caption*/, bool answer) override {
    Answered(text, answer);
  }
  // Typed at the terminal itself (a secret without echo); nullopt without one.
  std::optional<std::string> AskText(const std::string& text, bool secret) override;
  // Typed on the controlling terminal (/dev/tty, so that standard input may
  // carry data) without echo; nullopt without a terminal.
  std::optional<SecretText> AskSecret(const std::string& text) override;
  // Progress.
  void ShowStatus(const std::string& text) override;

  // A line on standard error that a later status of the same text repeats
  // not (a message box's text becomes the status text as well).
  void PrintLine(const std::string& text);
  // A question answered by an option, never asked: printed with its answer.
  bool Answered(const std::string& text, bool answer);

  // The bar's range and position as a front end's hooks get them.
  void DrawRange(int64_t max);
  void DrawPosition(int64_t position);
  // Bytes behind the bar's current total, for the throughput estimate.
  void SetTotalSource(std::function<int64_t()> total) { total_ = std::move(total); }
  // Ends the progress line so that what follows starts on a fresh line.
  void FinishProgress();

  // The signal tests' hold (test_hold.h) for this run: its first bar move
  // past 0 waits until a signal has come and `stopped()` is true. Each call
  // counts one run of the process.
  void ArmTestHold(std::function<bool()> stopped);

  // A question waiting for its answer on the terminal stops waiting and is
  // answered No; from any thread.
  void CloseQuestion();
  // From any thread: a question being asked, or asked later, is answered No.
  void Interrupt();
  bool Interrupted() const { return interrupted_; }

  const TerminalOptions& Options() const { return options_; }

 protected:
  void OnBarRange(int64_t max) override { DrawRange(max); }
  void OnBarPosition(int64_t position) override { DrawPosition(position); }

 private:
  void PrintLocked(const std::string& text);  // caller holds mutex_
  void ClearProgress();                       // caller holds mutex_
  // Whether a close of the question was signalled, clearing the signal.
  bool TakeClose();
  // Reads one line of the answer from the terminal (`fd`, else /dev/tty,
  // else standard input); nothing when interrupted or closed.
  std::optional<std::string> ReadAnswer(int fd = -1);

  TerminalOptions options_;
  std::atomic<bool> interrupted_{false};
  int wake_fd_ = -1;   // readable once interrupted
  int close_fd_ = -1;  // readable once the question being asked is closed
  std::atomic<bool> asking_{false};
  std::function<int64_t()> total_;
  int hold_run_ = 0;  // this run's number, while its hold is armed
  std::function<bool()> hold_stopped_;
  std::mutex mutex_;
  std::string last_line_;
  int64_t bar_max_ = 100;
  bool progress_shown_ = false;
  std::chrono::steady_clock::time_point started_, last_draw_;
};

}  // namespace vesk::cli
