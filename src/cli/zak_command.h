// vesk-cli's compress, decompress and unpack: SOURCE..., -o, --yes/--no, and
// for compress --level and the key of a keyed container compressed again.
// The request is built from the arguments alone and run by the ".zak"
// commands with a terminal; a signal stops the file at work and the files
// after it. A compress of a keyed container, which first checks it with its
// decryption key, still runs through the window logic (commands.h).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "cli/commands.h"

namespace CLI {
class App;
}  // namespace CLI

namespace vesk::cli {

class ZakCommand : public CliCommand {
 public:
  // Adds compress, decompress or unpack (`command`) to `app`.
  ZakCommand(CLI::App& app, Command command);

  bool Parsed() const override;
  int Run() override;

 private:
  CLI::App* sub_ = nullptr;
  Options o_;
  bool yes_ = false, no_ = false;
};

}  // namespace vesk::cli
