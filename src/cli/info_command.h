// vesk-cli inspect FILE [--json]: what an age file's header says and how
// large it is, read without any key.
#pragma once

#include <string>

#include "cli/cli_command.h"

namespace CLI {
class App;
}

namespace vesk::cli {

class InspectCommand : public CliCommand {
 public:
  explicit InspectCommand(CLI::App& app);
  bool Parsed() const override;
  // 0 shown, 1 not an age file or unreadable.
  int Run() override;

 private:
  CLI::App* command_ = nullptr;
  std::string file_;
  bool json_ = false;
};

}  // namespace vesk::cli
