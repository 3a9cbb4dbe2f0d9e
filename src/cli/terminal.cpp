#include "cli/terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <termios.h>

#include <cerrno>
#include <iostream>

#include "cli/key_text.h"
#include "cli/progress_line.h"
#include "cli/signals.h"
#include "cli/test_hold.h"
#include "cli/texts.h"

namespace vesk::cli {

TerminalOptions TerminalOptions::ForThisProcess(Answer answer, Algorithm algorithm) {
  TerminalOptions options;
  options.answer = answer;
  options.algorithm = algorithm;
  options.interactive = ::isatty(STDIN_FILENO) != 0;
  if (!options.interactive && StandardInputIsData()) {
    // Standard input is the data: the terminal itself answers.
    const int tty = ::open("/dev/tty", O_RDONLY | O_NOCTTY | O_CLOEXEC);
    options.interactive = tty >= 0;
    if (tty >= 0) ::close(tty);
  }
  options.progress = ::isatty(STDERR_FILENO) != 0;
  return options;
}

Terminal::Terminal(TerminalOptions options) : options_(options) {
  started_ = std::chrono::steady_clock::now();
  wake_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  close_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

Terminal::~Terminal() {
  if (wake_fd_ >= 0) ::close(wake_fd_);
  if (close_fd_ >= 0) ::close(close_fd_);
}

bool Terminal::TakeClose() {
  uint64_t count = 0;
  return close_fd_ >= 0 && ::read(close_fd_, &count, sizeof count) == static_cast<ssize_t>(sizeof count) && count > 0;
}

void Terminal::CloseQuestion() {
  if (!asking_ || close_fd_ < 0) return;
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(close_fd_, &one, sizeof one);
}

void Terminal::Interrupt() {
  interrupted_ = true;
  if (wake_fd_ >= 0) {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake_fd_, &one, sizeof one);
  }
}

std::optional<std::string> Terminal::ReadAnswer(int given) {
  int fd = given >= 0 ? given : ::open("/dev/tty", O_RDONLY | O_CLOEXEC);
  const bool own = given < 0 && fd >= 0;
  if (fd < 0) fd = STDIN_FILENO;
  std::string line;
  line.reserve(1024);  // a typed secret stays in this one buffer
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

void Terminal::ClearProgress() {
  if (progress_shown_) {
    std::cerr << "\r\033[K";
    progress_shown_ = false;
  }
}

void Terminal::PrintLocked(const std::string& text) {
  ClearProgress();
  std::cerr << text << '\n' << std::flush;
  last_line_ = text;
}

void Terminal::PrintLine(const std::string& text) {
  std::lock_guard lock(mutex_);
  PrintLocked(text);
}

void Terminal::ReportMessage(const std::string& text) { PrintLine(text); }

void Terminal::ShowStatus(const std::string& text) {
  std::lock_guard lock(mutex_);
  // A message's text becomes the status text as well: show it once.
  if (text.empty() || text == last_line_) return;
  PrintLocked(text);
}

bool Terminal::AskAlgorithm(AlgorithmQuestion which, const std::string& /*text*/, const std::string& /*caption*/) {
  // Answered from --algorithm, never asked.
  return which == AlgorithmQuestion::kOld ? options_.algorithm != Algorithm::kCurrent
                                          : options_.algorithm == Algorithm::kOlder;
}

std::optional<std::string> Terminal::AskText(const std::string& text, bool secret) {
  std::lock_guard lock(mutex_);
  ClearProgress();
  if (interrupted_) return std::nullopt;
  last_line_.clear();
  return AskLine(text + " ", secret);
}

bool Terminal::Answered(const std::string& text, bool answer) {
  PrintLine(text + (answer ? text::kAnsweredYes : text::kAnsweredNo));
  return answer;
}

bool Terminal::AskYesNo(const std::string& text, const std::string& /*caption*/) {
  std::unique_lock lock(mutex_);
  ClearProgress();
  if (interrupted_) return false;
  if (options_.answer == Answer::kAsk && options_.interactive) {
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
  lock.unlock();
  return Answered(text, options_.answer == Answer::kYes);
}

std::optional<SecretText> Terminal::AskSecret(const std::string& text) {
  std::unique_lock lock(mutex_);
  ClearProgress();
  if (interrupted_) return std::nullopt;
  const int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return std::nullopt;
  termios old {};
  const bool tty = ::tcgetattr(fd, &old) == 0;
  if (tty) {
    // A signal that ends the process while the echo is off puts it back.
    SetTerminalToRestore(old, fd);
    termios quiet = old;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ICANON;
    ::tcsetattr(fd, TCSAFLUSH, &quiet);
  }
  std::cerr << text << std::flush;
  TakeClose();
  asking_ = true;
  std::optional<std::string> answer = ReadAnswer(fd);
  asking_ = false;
  if (tty) {
    ::tcsetattr(fd, TCSAFLUSH, &old);
    SetTerminalToRestore(std::nullopt);
  }
  ::close(fd);
  std::cerr << '\n' << std::flush;
  last_line_.clear();
  if (!answer || answer->empty() || interrupted_) {
    if (answer) SecretText(std::move(*answer)).Wipe();
    return std::nullopt;
  }
  return SecretText(std::move(*answer));
}

void Terminal::DrawRange(int64_t max) {
  std::lock_guard lock(mutex_);
  bar_max_ = max > 0 ? max : 1;
  started_ = std::chrono::steady_clock::now();
}

void Terminal::ArmTestHold(std::function<bool()> stopped) {
  hold_run_ = CountHeldRun();
  hold_stopped_ = std::move(stopped);
}

void Terminal::DrawPosition(int64_t position) {
  if (position > 0 && hold_run_ != 0) {  // a move to 0 is the reset before a run
    const int run = hold_run_;
    hold_run_ = 0;
    HoldUntilStopped(run, hold_stopped_);
  }
  if (!options_.progress) return;
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

void Terminal::FinishProgress() {
  std::lock_guard lock(mutex_);
  ClearProgress();
}

}  // namespace vesk::cli
