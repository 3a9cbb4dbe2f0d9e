#include "cli/key_text.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <stdexcept>

#include "cli/signals.h"
#include "cli/texts.h"
#include "core/secret_text.h"

namespace vesk::cli {
namespace {

bool g_stdin_is_data = false;

// Where a prompt is answered: standard input when it is a terminal; the
// terminal itself when standard input is the data (or `any_terminal`).
// -1: nowhere.
int OpenPromptInput(bool any_terminal = false) {
  if (::isatty(STDIN_FILENO) != 0) return STDIN_FILENO;
  if (!g_stdin_is_data && !any_terminal) return -1;
  return ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
}

// Appends `n` bytes to `text`; a larger buffer is taken only after the
// bytes in the old one have been wiped, so that no copy is left in freed
// memory.
void AppendSecret(std::string& text, const char* data, std::size_t n) {
  if (text.size() + n > text.capacity()) {
    std::string larger;
    larger.reserve(std::max(text.capacity() * 2, text.size() + n));
    larger.append(text);
    WipeString(text);
    text.swap(larger);
  }
  text.append(data, n);
}

// Reads `fd` up to a line break (dropped) or its end, a byte at a time:
// nothing of the key stays in a stream's buffer.
std::string ReadSecretLine(int fd) {
  std::string line;
  line.reserve(256);
  char c = 0;
  for (;;) {
    const ssize_t got = ::read(fd, &c, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0 || c == '\n') break;
    AppendSecret(line, &c, 1);
  }
  *static_cast<volatile char*>(&c) = 0;
  return line;
}

// The whole content of the file at `path`, without copies left behind.
std::string ReadSecretFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error(text::KeyFileUnreadable(path));
  std::string text;
  text.reserve(4096);
  char buffer[4096];
  bool failed = false;
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    failed = got < 0;
    if (got <= 0) break;
    AppendSecret(text, buffer, static_cast<std::size_t>(got));
  }
  ::close(fd);
  volatile char* bytes = buffer;
  for (std::size_t i = 0; i < sizeof buffer; ++i) bytes[i] = 0;
  if (failed) {
    WipeString(text);
    throw std::runtime_error(text::KeyFileUnreadable(path));
  }
  return text;
}

std::string ReadLineFrom(int fd, const std::string& prompt, bool hide) {
  std::cerr << prompt << std::flush;
  termios old {};
  const bool tty = hide && fd >= 0 && ::tcgetattr(fd, &old) == 0;
  if (tty) {
    // A signal that ends the process while the echo is off puts it back.
    SetTerminalToRestore(old, fd);
    termios quiet = old;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(fd, TCSAFLUSH, &quiet);
  }
  std::string line = fd >= 0 ? ReadSecretLine(fd) : std::string();
  if (tty) {
    ::tcsetattr(fd, TCSAFLUSH, &old);
    SetTerminalToRestore(std::nullopt);
  }
  if (fd > STDIN_FILENO) ::close(fd);
  if (hide) std::cerr << '\n';
  return line;
}

std::string ReadLineWithoutEcho(const std::string& prompt) { return ReadLineFrom(OpenPromptInput(), prompt, true); }

bool CanPrompt() {
  const int fd = OpenPromptInput();
  if (fd > STDIN_FILENO) ::close(fd);
  return fd >= 0;
}

// Whether a second entry matches the first; the second is wiped.
bool ConfirmedBy(const std::string& first, std::string second) {
  const bool same = second == first;
  WipeString(second);
  return same;
}

// A key file saved by an editor that marks UTF-8 starts with a byte-order
// mark, which is no part of the key.
std::string WithoutByteOrderMark(std::string text) {
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);  // in place: no second buffer
  return text;
}

}  // namespace

std::string NormalizeKeyText(std::string text) {
  if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0) {
    text.resize(text.size() - 2);
  } else if (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
    text.pop_back();
  }
  std::string out;
  // Room for a CR before every byte: the result never moves to a larger
  // buffer, and the source is wiped below.
  out.reserve(text.size() * 2 + 1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      out += "\r\n";
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += c;
    }
  }
  WipeString(text);
  return out;
}

std::size_t CharacterCount(const std::string& utf8) {
  std::size_t n = 0;
  for (unsigned char c : utf8) n += (c & 0xC0) != 0x80;
  return n;
}

std::optional<std::string> ReadKey(const KeySource& source, const std::string& prompt, bool confirm) {
  if (!source.file.empty()) {
    return NormalizeKeyText(WithoutByteOrderMark(ReadSecretFile(source.file)));
  }
  if (!source.env.empty()) {
    const char* value = std::getenv(source.env.c_str());
    if (value == nullptr) throw std::runtime_error(text::KeyEnvUnset(source.env));
    return NormalizeKeyText(value);
  }
  if (!CanPrompt()) return std::nullopt;
  std::string key = ReadLineWithoutEcho(prompt);
  if (confirm && !ConfirmedBy(key, ReadLineWithoutEcho(text::kKeyAgainPrompt))) {
    WipeString(key);
    throw std::runtime_error(text::kKeyMismatch.str());
  }
  if (key.empty()) return std::nullopt;
  return NormalizeKeyText(std::move(key));
}

std::string WithoutFinalLineBreak(std::string text) {
  if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0) {
    text.resize(text.size() - 2);
  } else if (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
    text.pop_back();
  }
  return text;
}

std::optional<std::string> ReadPassphrase(const KeySource& source, const std::string& prompt, bool confirm,
                                          bool* typed_empty) {
  if (!source.file.empty()) {
    return WithoutFinalLineBreak(WithoutByteOrderMark(ReadSecretFile(source.file)));
  }
  if (!source.env.empty()) {
    const char* value = std::getenv(source.env.c_str());
    if (value == nullptr) throw std::runtime_error(text::KeyEnvUnset(source.env));
    return WithoutFinalLineBreak(value);
  }
  if (!CanPrompt()) return std::nullopt;
  std::string passphrase = ReadLineWithoutEcho(prompt);
  if (passphrase.empty()) {
    if (typed_empty != nullptr) *typed_empty = true;
    return std::nullopt;
  }
  if (confirm && !ConfirmedBy(passphrase, ReadLineWithoutEcho(text::kPassphraseAgainPrompt))) {
    WipeString(passphrase);
    throw std::runtime_error(text::kPassphraseMismatch.str());
  }
  return passphrase;
}

std::optional<std::string> AskLine(const std::string& prompt, bool hide) {
  const int fd = OpenPromptInput(true);
  if (fd < 0) return std::nullopt;
  return ReadLineFrom(fd, prompt, hide);
}

void SetStandardInputIsData() { g_stdin_is_data = true; }
bool StandardInputIsData() { return g_stdin_is_data; }

KeyTexts::~KeyTexts() {
  for (std::string* key : {&encrypt_key, &decrypt_key, &encrypt_passphrase, &decrypt_passphrase}) WipeString(*key);
}

}  // namespace vesk::cli
