#include "cli/cli_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <thread>
#include <vector>

#include "cli/progress_line.h"
#include "cli/signals.h"
#include "platform/paths.h"

namespace vesk::cli {

CliPort::CliPort(PortConfig config) : config_(std::move(config)) {
  started_ = std::chrono::steady_clock::now();
  wake_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  close_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

CliPort::~CliPort() {
  if (wake_fd_ >= 0) ::close(wake_fd_);
  if (close_fd_ >= 0) ::close(close_fd_);
}

bool CliPort::TakeClose() {
  uint64_t count = 0;
  return close_fd_ >= 0 && ::read(close_fd_, &count, sizeof count) == static_cast<ssize_t>(sizeof count) && count > 0;
}

void CliPort::CloseQuestion() {
  if (!asking_ || close_fd_ < 0) return;
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(close_fd_, &one, sizeof one);
}

PortConfig::~PortConfig() {
  for (std::string* key : {&encrypt_key, &decrypt_key, &encrypt_passphrase, &decrypt_passphrase}) {
    // The whole buffer: a short string keeps its bytes inside the object
    // even after it was moved from.
    key->resize(key->capacity());
    volatile char* bytes = key->data();
    for (std::size_t i = 0; i < key->size(); ++i) bytes[i] = 0;
  }
}

void CliPort::Interrupt() {
  interrupted_ = true;
  if (wake_fd_ >= 0) {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake_fd_, &one, sizeof one);
  }
}

std::optional<std::string> CliPort::ReadAnswer() {
  int fd = ::open("/dev/tty", O_RDONLY | O_CLOEXEC);
  const bool own = fd >= 0;
  if (!own) fd = STDIN_FILENO;
  std::string line;
  bool ok = false;
  for (;;) {
    // The wake-ups are -1 (ignored by poll) when they could not be made.
    pollfd fds[3] = {{fd, POLLIN, 0}, {wake_fd_, POLLIN, 0}, {close_fd_, POLLIN, 0}};
    if (::poll(fds, 3, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (interrupted_ || (fds[2].revents & POLLIN) != 0) break;
    char c = 0;
    const ssize_t n = ::read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || c == '\n') {
      ok = n > 0 || !line.empty();
      break;
    }
    line += c;
  }
  if (own) ::close(fd);
  if (!ok) return std::nullopt;
  return line;
}

void CliPort::ClearProgress() {
  if (progress_shown_) {
    std::cerr << "\r\033[K";
    progress_shown_ = false;
  }
}

void CliPort::PrintLine(const std::string& text) {
  ClearProgress();
  std::cerr << text << '\n' << std::flush;
  last_line_ = text;
}

void CliPort::MessageBox(const std::string& text, const std::string& /*caption*/) {
  std::lock_guard lock(mutex_);
  PrintLine(text);
}

void CliPort::SetStatusText(const std::string& text) {
  std::lock_guard lock(mutex_);
  // A message box's text becomes the status text as well: show it once.
  if (text.empty() || text == last_line_) return;
  PrintLine(text);
}

bool CliPort::AlgorithmQuestion(vesk::AlgorithmQuestion which, const std::string& /*text*/,
                                const std::string& /*caption*/) {
  // Answered from --algorithm, never asked.
  return which == vesk::AlgorithmQuestion::kOld ? config_.algorithm != Algorithm::kCurrent
                                                : config_.algorithm == Algorithm::kOlder;
}

bool CliPort::Question(const std::string& text, const std::string& /*caption*/) {
  std::lock_guard lock(mutex_);
  ClearProgress();
  if (interrupted_) return false;
  if (config_.answer == Answer::kAsk && config_.interactive) {
    std::cerr << text << " [y/N] " << std::flush;
    TakeClose();  // a close meant for an earlier question is no answer to this one
    asking_ = true;
    const std::optional<std::string> answer = ReadAnswer();
    asking_ = false;
    // A closed question's prompt line ends without the user's Enter.
    if (TakeClose() && !answer) std::cerr << '\n' << std::flush;
    const std::string reply = answer.value_or("");
    last_line_.clear();
    return !interrupted_ && !reply.empty() && (reply[0] == 'y' || reply[0] == 'Y');
  }
  const bool yes = config_.answer == Answer::kYes;
  PrintLine(text + (yes ? " -> 是" : " -> 否"));
  return yes;
}

bool CliPort::UnpackQuestion(const std::string& text, const std::string& /*caption*/) {
  // Answered by --unpack, never asked.
  std::lock_guard lock(mutex_);
  PrintLine(text + (config_.unpack ? " -> 是" : " -> 否"));
  return config_.unpack;
}

void CliPort::SetBarRange(int64_t max) {
  std::lock_guard lock(mutex_);
  bar_max_ = max > 0 ? max : 1;
  started_ = std::chrono::steady_clock::now();
}

void CliPort::ArmTestHold(UiThread& ui, RunFlags& flags) {
  static std::atomic<int> armed{0};
  const char* run = std::getenv("VESK_TEST_HOLD_UNTIL_CANCEL");
  if (run == nullptr || std::atoi(run) != ++armed) return;
  hold_ui_ = &ui;
  hold_flags_ = &flags;
}

void CliPort::HoldForTest() {
  RunFlags* flags = hold_flags_.exchange(nullptr);
  if (flags == nullptr) return;
  std::vector<std::atomic<bool>*> running;
  for (std::atomic<bool>* f : {&flags->KeepRunning, &flags->KeepDecrypting, &flags->KeepCreating,
                               &flags->KeepSeparating, &flags->KeepShredding}) {
    if (*f) running.push_back(f);
  }
  // Bounded, so that a program that misses the signal fails its test by
  // finishing instead of hanging it.
  const auto limit = std::chrono::seconds(60);
  const auto deadline = std::chrono::steady_clock::now() + limit;
  if (!AwaitCancelSignal(limit) || hold_ui_->IsUiThread()) return;
  while (!running.empty() && std::all_of(running.begin(), running.end(), [](auto* f) { return f->load(); }) &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void CliPort::SetBarPosition(int64_t position) {
  if (position > 0) HoldForTest();  // a move to 0 is the reset before a run
  if (!config_.progress) return;
  const int64_t total = total_ ? total_() : 0;
  std::lock_guard lock(mutex_);
  const auto now = std::chrono::steady_clock::now();
  const double fraction = static_cast<double>(position) / static_cast<double>(bar_max_);
  if (fraction < 1.0 && now - last_draw_ < std::chrono::milliseconds(100)) return;
  last_draw_ = now;
  const double seconds = std::chrono::duration<double>(now - started_).count();
  const auto bytes = static_cast<int64_t>(fraction * static_cast<double>(total));
  std::cerr << '\r' << FormatProgress(fraction, bytes, seconds) << "\033[K" << std::flush;
  progress_shown_ = true;
}

void CliPort::FinishProgress() {
  std::lock_guard lock(mutex_);
  ClearProgress();
}

std::string CliPort::KeyText(Control box) {
  return box == Control::EncryptionKey ? config_.encrypt_key : config_.decrypt_key;
}

std::string CliPort::PassphraseText(Control box) {
  return box == Control::EncryptionKey ? config_.encrypt_passphrase : config_.decrypt_passphrase;
}

std::optional<std::string> CliPort::OpenDialog(const FileDialogSpec& /*setup*/) { return config_.source; }

std::optional<std::string> CliPort::SaveDialog(const FileDialogSpec& setup) {
  if (config_.target) return *config_.target;
  if (config_.output_folder) return *config_.output_folder + ExtractFileName(setup.file_name);
  return setup.file_name;
}

}  // namespace vesk::cli
