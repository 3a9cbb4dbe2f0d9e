// The self-decrypting file subcommands of vesk-cli: make-sfx wraps a keyed
// container into an executable whose program part is the small program
// vesk-sfx beside vesk-cli (or, asked for, the window program vesk);
// sfx-info, self-decrypt and separate (payload_commands.h) read one without
// running it (or, without a FILE, the running program itself: an older
// self-decrypting file whose program part is vesk-cli).
#pragma once

#include <CLI/CLI.hpp>

#include <optional>
#include <string>

#include "cli/cli_command.h"

namespace vesk::cli {

class MakeSfxCommand final : public CliCommand {
 public:
  // Adds make-sfx to `app`; the object must outlive the parse.
  explicit MakeSfxCommand(CLI::App& app);

  bool Parsed() const override;
  // 0 when it completed, 1 on a refusal, cancel or failure.
  int Run() override;

 private:
  CLI::App* make_ = nullptr;
  std::string container_;
  std::optional<std::string> target_;
  bool window_ = false;
  bool yes_ = false;
  bool no_ = false;
};

}  // namespace vesk::cli
