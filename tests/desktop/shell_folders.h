// The user's desktop folders of a test: private XDG base folders, a stub
// window program that records how it was started, and the desktop's tools.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "desktop/shell_integration.h"
#include "platform/process.h"
#include "support/desktop_entry.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace vesk::shell {

using testing::ExecArguments;
using testing::KeyFile;
using testing::ProcessResult;
using testing::ReadFile;
using testing::ReadKeyFile;
using testing::ReadLines;
using testing::RunProcess;
using testing::TempDir;
using testing::WriteFile;

namespace fs = std::filesystem;

inline bool Executable(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && (st.st_mode & S_IXUSR) != 0;
}

// A name that every quoting layer must get right.
inline constexpr char kOddFolder[] = "odd dir/it's a \"$HOME\" `x` \\y";

class ShellFolders : public ::testing::Test {
 protected:
  ShellFolders() {
    for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "PATH"}) {
      const char* value = std::getenv(name);
      saved_[name] = value != nullptr ? std::optional<std::string>(value) : std::nullopt;
    }
    at = {dir.File("data"), dir.File("config")};
    setenv("XDG_DATA_HOME", at.data_home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", at.config_home.c_str(), 1);
    fs::create_directories(dir.File("files"));
  }
  ~ShellFolders() override {
    for (const auto& [name, value] : saved_) {
      if (value) {
        setenv(name.c_str(), value->c_str(), 1);
      } else {
        unsetenv(name.c_str());
      }
    }
  }

  // A program that records how it was started: its own path, then each
  // argument, one per line.
  std::string Stub(const std::string& folder) {
    fs::create_directories(dir.File(folder));
    const std::string path = dir.File(folder) + "/vesk";
    WriteFile(path, "#!/bin/sh\n{ printf '%s\\n' \"$0\"; for a; do printf '%s\\n' \"$a\"; done; } > " +
                        ShellQuote(dir.File("record")) + "\n");
    ::chmod(path.c_str(), 0755);
    return path;
  }
  // What the stub recorded, waiting for a launcher that starts it in the
  // background.
  std::vector<std::string> Recorded() {
    for (int i = 0; i < 100 && !fs::exists(dir.File("record")); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::vector<std::string> lines = ReadLines(dir.File("record"));
    fs::remove(dir.File("record"));
    return lines;
  }

  // A program that records its own path and each argument, every one
  // followed by a NUL byte, so that any byte of a name arrives as it is.
  std::string NulStub(const std::string& folder) {
    fs::create_directories(dir.File(folder));
    const std::string path = dir.File(folder) + "/vesk";
    const std::string record = ShellQuote(dir.File("record"));
    WriteFile(path, "#!/bin/sh\n{ printf '%s\\0' \"$0\"; for a; do printf '%s\\0' \"$a\"; done; } > " + record +
                        ".tmp && mv " + record + ".tmp " + record + "\n");
    ::chmod(path.c_str(), 0755);
    return path;
  }
  // What the NUL-recording stub received.
  std::vector<std::string> RecordedArguments() {
    for (int i = 0; i < 200 && !fs::exists(dir.File("record")); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    const std::string data = ReadFile(dir.File("record"));
    fs::remove(dir.File("record"));
    std::vector<std::string> args;
    std::size_t start = 0;
    for (std::size_t nul = data.find('\0'); nul != std::string::npos; nul = data.find('\0', start)) {
      args.push_back(data.substr(start, nul - start));
      start = nul + 1;
    }
    return args;
  }

  std::string File(const std::string& name) {
    const std::string path = dir.File("files/" + name);
    WriteFile(path, testing::RandomBytes(4096, 7));
    return path;
  }

  static std::optional<std::string> Tool(const char* name) { return FindProgramOnPath(name); }
  static ProcessResult Run(const char* tool, std::vector<std::string> args) {
    const auto program = Tool(tool);
    if (!program) return {127, "", std::string(tool) + " is not installed"};
    args.insert(args.begin(), *program);
    return RunProcess(args);
  }
  static std::string Trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
  }

  // Every file under both folders that carries the marker.
  std::vector<std::string> FilesOfOurs() {
    std::vector<std::string> ours;
    for (const std::string& base : {at.data_home, at.config_home}) {
      if (!fs::exists(base)) continue;
      for (const auto& e : fs::recursive_directory_iterator(base)) {
        if (e.is_regular_file() && ReadFile(e.path().string()).find(kMarker) != std::string::npos) {
          ours.push_back(e.path().string());
        }
      }
    }
    return ours;
  }

  TempDir dir;
  Locations at;

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

#define REQUIRE_TOOLS(...)                                                        \
  for (const char* tool : {__VA_ARGS__}) {                                        \
    if (!Tool(tool)) GTEST_SKIP() << tool << " is not installed (scripts/setup.sh)"; \
  }

// Every step that made the result fail, one per line.
inline std::string ProblemsOf(const Result& r) {
  std::string out;
  for (const Step& s : r.Problems()) out += DescribeStep(s) + "\n";
  return out;
}

}  // namespace vesk::shell
