// The window port of the command-line front end: the arguments answer the
// dialogs and questions, messages and status texts go to standard error, and
// a progress line is drawn there when it is a terminal.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "app/port.h"

namespace vesk::cli {

enum class Answer { kAsk, kYes, kNo };

// Which cipher answers the engines' algorithm questions.
enum class Algorithm { kCurrent, kOld, kOlder };

struct PortConfig {
  std::string source;                // answers the open dialog
  std::optional<std::string> target;  // answers the save dialog (else its proposal)
  // Else the proposal's name in this folder (with its final "/").
  std::optional<std::string> output_folder;
  std::string encrypt_key;           // UTF-8 text of EncryptionKey
  std::string decrypt_key;           // UTF-8 text of DecryptionKey
  Answer answer = Answer::kAsk;      // replace, version and cancel questions
  Algorithm algorithm = Algorithm::kCurrent;  // answers the algorithm questions
  bool interactive = false;          // a terminal can answer kAsk questions
  bool progress = false;             // draw the progress line
  bool unpack = false;               // answers "解开文件夹？"
};

class CliPort : public WindowPort {
 public:
  explicit CliPort(PortConfig config);
  ~CliPort() override;
  CliPort(const CliPort&) = delete;
  CliPort& operator=(const CliPort&) = delete;

  // Bytes behind the bar's current total, for the throughput estimate.
  void SetTotalSource(std::function<int64_t()> total) { total_ = std::move(total); }

  void MessageBox(const std::string& text, const std::string& caption) override;
  bool Question(const std::string& text, const std::string& caption) override;
  bool AlgorithmQuestion(vesk::AlgorithmQuestion which, const std::string& text, const std::string& caption) override;
  void SetStatusText(const std::string& text) override;
  void SetBarRange(int64_t max) override;
  void SetBarPosition(int64_t position) override;
  void SetEnabled(Control, bool) override {}
  void SetCaption(Control, const std::string&) override {}
  void SetHint(Hint, const std::string&) override {}
  std::string KeyText(Control box) override;
  std::optional<std::string> OpenDialog(const FileDialogSpec& setup) override;
  std::optional<std::string> SaveDialog(const FileDialogSpec& setup) override;
  void Beep() override {}
  bool UnpackQuestion(const std::string& text, const std::string& caption) override;
  // A folder that is there already is never merged into: no other name.
  std::optional<std::string> NewFolderDialog(const FileDialogSpec&) override { return std::nullopt; }

  // Ends the progress line so that what follows starts on a fresh line.
  void FinishProgress();

  // A message said the source was damaged (the run may still complete).
  // From any thread: a question being asked, or asked later, is answered No.
  void Interrupt();

 private:
  void PrintLine(const std::string& text);  // caller holds mutex_
  void ClearProgress();                     // caller holds mutex_

  // Reads one line of the answer from the terminal; nothing when interrupted.
  std::optional<std::string> ReadAnswer();

  PortConfig config_;
  std::atomic<bool> interrupted_{false};
  int wake_fd_ = -1;  // readable once interrupted
  std::function<int64_t()> total_;
  std::mutex mutex_;
  std::string last_line_;
  int64_t bar_max_ = 100;
  bool progress_shown_ = false;
  std::chrono::steady_clock::time_point started_, last_draw_;
};

}  // namespace vesk::cli
