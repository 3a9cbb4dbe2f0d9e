// The file subcommands encrypt and decrypt (compress, decompress and unpack
// are ZakCommand, the key-less ones KeylessCommand). Each takes SOURCE..., -o and
// --yes/--no, and what only it takes (keys, level, algorithm, the age
// options); it runs the sources one after the other (commands.h).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "cli/commands.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace vesk::cli {

class FileCommand : public CliCommand {
 public:
  // Adds the subcommand of `command` (encrypt or decrypt) to `app`.
  FileCommand(CLI::App& app, Command command);

  bool Parsed() const override;
  int Run() override;

  // The names of the file subcommands, its own and ZakCommand's, in the
  // order of the help.
  static const std::vector<std::pair<std::string_view, Command>>& Names();

 private:
  CLI::App* sub_ = nullptr;
  Options o_;
  bool yes_ = false, no_ = false;
  int keyed_algorithm_ = 33;
  std::vector<CLI::Option*> jmz_only_;  // the options --format age does not take
};

}  // namespace vesk::cli
