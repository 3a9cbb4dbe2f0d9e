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
#include "cli/terminal.h"
#include "core/reporting.h"
#include "threads/ui_thread.h"

namespace vesk::cli {

struct PortConfig {
  std::string source;                // answers the open dialog
  std::optional<std::string> target;  // answers the save dialog (else its proposal)
  // Else the proposal's name in this folder (with its final "/").
  std::optional<std::string> output_folder;
  std::string encrypt_key;           // UTF-8 text of EncryptionKey
  std::string decrypt_key;           // UTF-8 text of DecryptionKey
  // The same boxes read as age passphrases: the text exactly as given.
  std::string encrypt_passphrase;
  std::string decrypt_passphrase;
  Answer answer = Answer::kAsk;      // replace, version and cancel questions
  Algorithm algorithm = Algorithm::kCurrent;  // answers the algorithm questions
  bool interactive = false;          // a terminal can answer kAsk questions
  bool progress = false;             // draw the progress line
  bool unpack = false;               // answers the unpack question

  PortConfig() = default;
  PortConfig(const PortConfig&) = default;
  PortConfig(PortConfig&&) = default;
  PortConfig& operator=(const PortConfig&) = default;
  PortConfig& operator=(PortConfig&&) = default;
  // Wipes the keys and passphrases of every copy (moved-from ones too).
  ~PortConfig();
};

class CliPort : public WindowPort {
 public:
  explicit CliPort(PortConfig config);
  ~CliPort() override;
  CliPort(const CliPort&) = delete;
  CliPort& operator=(const CliPort&) = delete;

  // Bytes behind the bar's current total, for the throughput estimate.
  void SetTotalSource(std::function<int64_t()> total) { terminal_.SetTotalSource(std::move(total)); }

  // The signal tests' hold (test_hold.h): the first bar move past 0 of this
  // run waits until a signal has come and the run has been told to stop (on
  // a worker: one of its `flags` that was set is clear; on the
  // user-interface thread `ui`, the queued cancel runs next).
  void ArmTestHold(UiThread& ui, RunFlags& flags);

  void MessageBox(const std::string& text, const std::string& caption) override;
  bool Question(const std::string& text, const std::string& caption) override;
  // A question waiting for its answer on the terminal stops waiting and is
  // answered No; from any thread.
  void CloseQuestion() override { terminal_.CloseQuestion(); }
  bool AlgorithmQuestion(vesk::AlgorithmQuestion which, const std::string& text, const std::string& caption) override {
    return terminal_.AskAlgorithm(which, text, caption);
  }
  void SetStatusText(const std::string& text) override { terminal_.ShowStatus(text); }
  void SetBarRange(int64_t max) override { terminal_.DrawRange(max); }
  void SetBarPosition(int64_t position) override;
  void SetEnabled(Control, bool) override {}
  void SetCaption(Control, const std::string&) override {}
  void SetHint(Hint, const std::string&) override {}
  std::string KeyText(Control box) override;
  std::string PassphraseText(Control box) override;
  std::optional<std::string> OpenDialog(const FileDialogSpec& setup) override;
  std::optional<std::string> SaveDialog(const FileDialogSpec& setup) override;
  void Beep() override {}
  bool UnpackQuestion(const std::string& text, const std::string& caption) override;
  // A folder that is there already is never merged into: no other name.
  std::optional<std::string> NewFolderDialog(const FileDialogSpec&) override { return std::nullopt; }

  // Ends the progress line so that what follows starts on a fresh line.
  void FinishProgress() { terminal_.FinishProgress(); }

  // A message said the source was damaged (the run may still complete).
  // From any thread: a question being asked, or asked later, is answered No.
  void Interrupt() { terminal_.Interrupt(); }

 private:
  PortConfig config_;
  Terminal terminal_;
  int hold_run_ = 0;  // set while the test hold is armed for this run
  UiThread* hold_ui_ = nullptr;
  std::atomic<RunFlags*> hold_flags_{nullptr};
};

}  // namespace vesk::cli
