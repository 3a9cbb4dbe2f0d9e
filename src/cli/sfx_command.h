// The self-decrypting file subcommands of vesk-cli: make-sfx wraps a keyed
// container into an executable, sfx-info, self-decrypt and separate read one
// without running it (or, without a FILE, the running program itself), and a
// vesk-cli-based self-decrypting file started without arguments says what it
// carries.
#pragma once

#include <CLI/CLI.hpp>

#include <optional>
#include <string>

#include "cli/key_text.h"

namespace vesk::cli {

class SfxCommands {
 public:
  // Adds the four subcommands to `app`; the object must outlive the parse.
  explicit SfxCommands(CLI::App& app);
  SfxCommands(const SfxCommands&) = delete;
  SfxCommands& operator=(const SfxCommands&) = delete;

  // True when the parsed command line named one of them.
  bool Parsed() const;
  // Runs it: 0 when it completed, 1 on a refusal, cancel or failure, 2 on a
  // usage error.
  int Run() const;

 private:
  int MakeSfx() const;
  int Info() const;
  int SelfDecrypt() const;
  int Separate() const;

  CLI::App* make_ = nullptr;
  CLI::App* info_ = nullptr;
  CLI::App* decrypt_ = nullptr;
  CLI::App* separate_ = nullptr;
  std::string file_;
  std::optional<std::string> target_;
  bool window_ = false;
  bool yes_ = false;
  bool no_ = false;
  bool legacy_ = false;
  KeySource key_;
};

// When the running program carries a payload: prints what it carries and how
// to self-decrypt or separate it (`invoked_as` is the name it was started
// by) and returns 0. nullopt when it is a plain program.
std::optional<int> DescribeOwnPayload(const std::string& invoked_as);

}  // namespace vesk::cli
