// vesk-cli associate | context-menu | unregister: the window's three desktop
// integration items for scripts, packagers and headless set-up.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "cli/cli_command.h"
#include "cli/exit_status.h"

namespace CLI {
class App;
}

namespace vesk::cli {

struct DesktopCommands {
  CLI::App* associate = nullptr;
  CLI::App* context_menu = nullptr;
  CLI::App* unregister = nullptr;
  std::string program;  // --program, empty when not given
};

// Adds the three subcommands to `app`.
std::unique_ptr<DesktopCommands> AddDesktopCommands(CLI::App& app);

// Runs the one that was parsed: its exit status (0 done, 1 failed, with a
// message on standard error); nullopt when none of them was parsed.
std::optional<int> RunDesktopCommand(const DesktopCommands& commands);

// The window program the entries start: `given` made absolute when it is
// an executable file; without it `vesk` in the folder of `own_program`, else
// on `path_variable`. nullopt when there is none.
std::optional<std::string> FindWindowProgram(const std::string& given, const std::string& own_program,
                                             const std::string& path_variable);

}  // namespace vesk::cli

namespace vesk::cli {

// associate, context-menu and unregister as one registry entry.
class DesktopCommand : public CliCommand {
 public:
  explicit DesktopCommand(CLI::App& app) : commands_(AddDesktopCommands(app)) {}
  bool Parsed() const override;
  int Run() override { return RunDesktopCommand(*commands_).value_or(kExitFailed); }

 private:
  std::unique_ptr<DesktopCommands> commands_;
};

}  // namespace vesk::cli
