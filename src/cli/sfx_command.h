// The self-decrypting file subcommands of vesk-cli: make-sfx wraps a keyed
// container into an executable whose program part is the small program
// vesk-sfx beside vesk-cli (or, asked for, the window program vesk);
// sfx-info, self-decrypt and separate read one without running it (or,
// without a FILE, the running program itself: an older self-decrypting file
// whose program part is vesk-cli).
#pragma once

#include <CLI/CLI.hpp>

#include <optional>
#include <string>

#include "cli/cli_command.h"
#include "cli/payload_commands.h"

namespace vesk::cli {

class SfxCommands : public CliCommand {
 public:
  // Adds the four subcommands to `app`; the object must outlive the parse.
  explicit SfxCommands(CLI::App& app);
  SfxCommands(const SfxCommands&) = delete;
  SfxCommands& operator=(const SfxCommands&) = delete;

  // True when the parsed command line named one of them.
  bool Parsed() const override;
  // Runs it: 0 when it completed, 3 when it completed after damage warnings,
  // 1 on a refusal, cancel or failure, 2 on a usage error.
  int Run() override;

 private:
  int MakeSfx() const;

  PayloadCommands payload_;
  CLI::App* make_ = nullptr;
  std::string container_;
  std::optional<std::string> target_;
  bool window_ = false;
  bool yes_ = false;
  bool no_ = false;
};

}  // namespace vesk::cli
