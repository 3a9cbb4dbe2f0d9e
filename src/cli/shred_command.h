// vesk-cli shred FILE... [--yes|--no]: the shred command for each file in
// turn, with its question, progress line and messages on the terminal.
#pragma once

#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "cli/terminal.h"

namespace CLI {
class App;
}

namespace vesk::cli {

// Shreds the files one after another. Each one gets its question (answered
// by `answer`; asked on the terminal when there is one, No otherwise). A
// signal stops the file at work and starts no other. Exit status: 0 when
// every file was shredded, 1 otherwise.
int ShredFiles(const std::vector<std::string>& files, Answer answer);

// The subcommand, registered on the program's parser.
class ShredCommand : public CliCommand {
 public:
  explicit ShredCommand(CLI::App& app);
  ShredCommand(const ShredCommand&) = delete;
  ShredCommand& operator=(const ShredCommand&) = delete;

  bool Parsed() const override;
  int Run() override;

 private:
  CLI::App* command_ = nullptr;
  std::vector<std::string> files_;
  bool yes_ = false, no_ = false;
};

}  // namespace vesk::cli
