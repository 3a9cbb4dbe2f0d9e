#include "cli/desktop_command.h"

#include <unistd.h>

#include <CLI/CLI.hpp>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <vector>

#include "cli/texts.h"
#include "commands/registration_command.h"
#include "desktop/shell_integration.h"
#include "platform/process.h"
#include "settings/value_store.h"

namespace vesk::cli {
namespace {

// vesk-cli's own path name (after an upgrade replaced it while running,
// the new file at the same place).
std::string OwnProgram() { return shell::RunningProgramPathName().value_or(""); }

// Every step that did something or could not, one line each, then the
// summary the window shows; 0 when nothing failed or was refused.
int Report(shell::Action action, const shell::Result& result) {
  for (const shell::Step& step : result.steps) {
    if (step.outcome == shell::Outcome::kAbsent || step.place == shell::Place::kFolders) {
      if (step.outcome != shell::Outcome::kFailed && step.outcome != shell::Outcome::kRefusedForeign) continue;
    }
    std::cerr << "  " << shell::DescribeStep(step) << '\n';
  }
  std::cerr << shell::Summary(action, result) << '\n';
  return result.ok() ? kExitDone : kExitFailed;
}

}  // namespace

std::optional<std::string> FindWindowProgram(const std::string& given, const std::string& own_program,
                                             const std::string& path_variable) {
  std::error_code ec;
  if (!given.empty()) {
    const std::string absolute = std::filesystem::absolute(given, ec).lexically_normal().string();
    if (ec) return std::nullopt;
    return FindProgram(absolute, "");
  }
  if (!own_program.empty()) {
    const std::string beside = std::filesystem::path(own_program).parent_path() / "vesk";
    if (auto found = FindProgram(beside, "")) return found;
  }
  auto on_path = FindProgram("vesk", path_variable);
  if (!on_path) return std::nullopt;
  // PATH may hold relative folders; the entries need an absolute path.
  return std::filesystem::absolute(*on_path, ec).lexically_normal().string();
}

std::unique_ptr<DesktopCommands> AddDesktopCommands(CLI::App& app) {
  auto commands = std::make_unique<DesktopCommands>();
  commands->associate = app.add_subcommand("associate", text::kAssociateHelp);
  commands->associate->add_option("--program", commands->program, text::kProgramHelp);
  commands->context_menu = app.add_subcommand("context-menu", text::kContextMenuHelp);
  commands->context_menu->add_option("--program", commands->program, text::kProgramHelp);
  commands->unregister = app.add_subcommand("unregister", text::kUnregisterHelp);
  return commands;
}

std::optional<int> RunDesktopCommand(const DesktopCommands& commands) {
  const bool associate = commands.associate->parsed();
  const bool context_menu = commands.context_menu->parsed();
  if (!associate && !context_menu && !commands.unregister->parsed()) return std::nullopt;
  try {
    commands::RegistrationRequest request;
    request.locations = shell::Locations::ForUser();
    if (!associate && !context_menu) {
      request.action = shell::Action::kUnregister;
      request.remove_settings = [] { settings::RemoveSettingsFile(settings::SettingsFilePath()); };
      return Report(request.action, commands::RegistrationCommand().Run(request));
    }
    const char* path = std::getenv("PATH");
    const auto program = FindWindowProgram(commands.program, OwnProgram(), path != nullptr ? path : "");
    if (!program) {
      std::cerr << (commands.program.empty() ? text::kNoWindowProgram : text::NotAProgram(commands.program)) << '\n';
      return kExitFailed;
    }
    std::cerr << text::WindowProgram(*program) << '\n';
    request.action = associate ? shell::Action::kAssociate : shell::Action::kContextMenu;
    request.program = *program;
    return Report(request.action, commands::RegistrationCommand().Run(request));
  } catch (const std::exception& e) {
    std::cerr << text::RegistrationError(e.what()) << '\n';
    return kExitFailed;
  }
}

bool DesktopCommand::Parsed() const {
  return commands_->associate->parsed() || commands_->context_menu->parsed() || commands_->unregister->parsed();
}

}  // namespace vesk::cli
