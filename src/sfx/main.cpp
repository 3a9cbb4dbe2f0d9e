// vesk-sfx: the program part of a self-decrypting file. Started as such a
// file it says what it carries, and decrypts or separates that payload; it
// does nothing else, and needs nothing beyond the C and C++ runtimes and zlib.
//
// Double-clicked in a file manager it has no terminal to talk through: it
// hands the file to the installed window (`vesk --self-decrypt FILE`), or
// without one runs itself in a terminal emulator, or says in a box what to
// do instead.
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/language_option.h"
#include "cli/payload_commands.h"
#include "cli/signals.h"
#include "platform/embedded_catalogue.h"
#include "cli/texts.h"
#include "core/progress.h"
#include "core/prompter.h"
#include "platform/core_dumps.h"
#include "selfextract/layout.h"
#include "sfx/texts.h"

namespace {

// Reads the own payload header without showing anything.
class Silent final : public vesk::Progress, public vesk::Prompter {
 public:
  void ShowStatus(const std::string&) override {}
  void ReportMessage(const std::string&) override {}
  bool AskYesNo(const std::string&, const std::string&) override { return false; }

 protected:
  void OnBarRange(int64_t) override {}
  void OnBarPosition(int64_t) override {}
};

bool CarriesPayload() {
  Silent silent;
  return vesk::selfextract::ReadRunningSelfDecryptInfo(silent, silent).CommandsEnabled;
}

// No terminal on any standard stream, a display to show a window on, and
// no pipe that a caller reads the output from: a double-click.
bool StartedFromTheDesktop() {
  for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    if (::isatty(fd)) return false;
  }
  struct stat out {};
  if (::fstat(STDOUT_FILENO, &out) == 0 && S_ISFIFO(out.st_mode)) return false;
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// `name` in a folder of PATH (empty entries, the working folder, are
// skipped), else in `beside`; empty when it is nowhere.
std::string FindProgram(const std::string& name, const std::string& beside = {}) {
  if (name.find('/') != std::string::npos) return IsExecutableFile(name) ? name : std::string();
  const char* variable = std::getenv("PATH");
  const std::string folders = variable != nullptr ? variable : "";
  for (std::size_t start = 0; start <= folders.size();) {
    std::size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    if (end > start) {
      const std::string candidate = folders.substr(start, end - start) + "/" + name;
      if (IsExecutableFile(candidate)) return candidate;
    }
    start = end + 1;
  }
  if (!beside.empty() && IsExecutableFile(beside + "/" + name)) return beside + "/" + name;
  return {};
}

// Replaces this process with `args`; returns only when that failed.
void Exec(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  ::execv(argv[0], argv.data());
}

// The window, else a terminal emulator running the file's own
// self-decrypt, else a box (and standard error) saying what to do. Returns
// only when nothing could be started.
int HandOver() {
  char buffer[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return 1;
  const std::string self(buffer, static_cast<std::size_t>(length));
  const std::string folder = self.substr(0, self.rfind('/'));

  const std::string window = FindProgram("vesk", folder);
  if (!window.empty() && window != self) Exec({window, "--self-decrypt", self});

  // In the terminal: what the file carries, the decryption asking for the
  // key, and the terminal kept open until the user has read the outcome.
  const std::string script = "\"$0\"; echo; \"$0\" self-decrypt; printf '\\n%s' \"$1\"; read -r _";
  std::vector<std::string> terminals;
  if (const char* chosen = std::getenv("TERMINAL"); chosen != nullptr && *chosen != '\0') terminals.emplace_back(chosen);
  for (const char* name : {"x-terminal-emulator", "gnome-terminal", "konsole", "xfce4-terminal", "xterm"}) {
    terminals.emplace_back(name);
  }
  for (const std::string& name : terminals) {
    const std::string program = FindProgram(name);
    if (program.empty()) continue;
    const std::string base = program.substr(program.rfind('/') + 1);
    // The option after which the rest of the line is the command to run.
    const char* run = base == "gnome-terminal" ? "--" : base == "xfce4-terminal" ? "-x" : "-e";
    Exec({program, run, "/bin/sh", "-c", script, self, vesk::sfx::text::kPressEnter});
  }

  const std::string message = vesk::sfx::text::NothingToShowIn(self);
  std::cerr << message << std::endl;
  const std::vector<std::vector<std::string>> boxes = {
      {"zenity", "--error", "--no-markup", "--text=" + message},
      {"kdialog", "--error", message},
      {"xmessage", "-center", message},
      {"notify-send", vesk::sfx::text::kProgramName.str(), message},
  };
  for (std::vector<std::string> args : boxes) {
    const std::string program = FindProgram(args.front());
    if (program.empty()) continue;
    args.front() = program;
    Exec(args);
  }
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  // Before any key is read: no core file or debugger can see one.
  vesk::KeepSecretsOutOfDumps();
  if (argc == 1 && StartedFromTheDesktop() && CarriesPayload()) return HandOver();
  // Before any thread exists: every command cancels cleanly on a signal.
  vesk::cli::WatchSignals();
  // The catalogue travels inside the program: no installation is needed.
  vesk::UseLanguage(vesk::cli::TakeLanguageOption(argc, argv), vesk::EmbeddedCatalogue());
  if (argc == 1) {
    if (auto shown = vesk::cli::DescribeOwnPayload(argv[0])) return *shown;
  }
  CLI::App app{vesk::cli::text::kSfxDescription, "vesk-sfx"};
  app.require_subcommand(1);
  app.set_version_flag("--version", "vesk-sfx " VESK_VERSION_TEXT);
  vesk::cli::AddLanguageOption(app);
  vesk::cli::PayloadCommand commands(app, "vesk-sfx", false);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }
  return commands.Run();
}
