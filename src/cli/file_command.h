// The file subcommands encrypt and decrypt (compress, decompress and unpack
// are ZakCommand, the key-less ones KeylessCommand): one class each, on a
// base that takes what both take (SOURCE..., -o, --yes/--no) and sends the
// sources down the age or the keyed road (commands.h).
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
  bool Parsed() const override;

  // The names of the file subcommands, encrypt's and decrypt's and
  // ZakCommand's, in the order of the help.
  static const std::vector<std::pair<std::string_view, Command>>& Names();

 protected:
  // Adds the subcommand of `command` with SOURCE... and -o.
  FileCommand(CLI::App& app, Command command, const char* description);
  // --yes and --no, after the subcommand's own options.
  void AddAnswers();
  // The checks both share, then the road the sources take.
  int RunRoads();

  CLI::App* sub_ = nullptr;
  Options o_;

 private:
  bool yes_ = false, no_ = false;
};

class EncryptCommand : public FileCommand {
 public:
  explicit EncryptCommand(CLI::App& app);
  int Run() override;

 private:
  int keyed_algorithm_ = 33;
  std::vector<CLI::Option*> jmz_only_;  // the options --format age does not take
};

class DecryptCommand : public FileCommand {
 public:
  explicit DecryptCommand(CLI::App& app);
  int Run() override;
};

}  // namespace vesk::cli
