// One vesk-cli subcommand: it adds its options to the parser, builds its
// request from its arguments alone and runs it, returning the exit status
// (exit_status.h). `main` is only the registry of these.
#pragma once

#include <functional>
#include <memory>
#include <string_view>
#include <vector>

namespace CLI {
class App;
}

namespace vesk::cli {

class CliCommand {
 public:
  CliCommand() = default;
  virtual ~CliCommand() = default;
  CliCommand(const CliCommand&) = delete;
  CliCommand& operator=(const CliCommand&) = delete;

  // True when the parsed command line named this command.
  virtual bool Parsed() const = 0;
  // Runs it to its end: the exit status.
  virtual int Run() = 0;
};

// A registry entry: the subcommand names an object answers to, and how to
// make it (its constructor adds its subcommands to the parser).
struct CommandEntry {
  std::vector<std::string_view> names;
  std::function<std::unique_ptr<CliCommand>(CLI::App&)> make;
};

}  // namespace vesk::cli
