#include "cli/desktop_command.h"

#include <unistd.h>

#include <CLI/CLI.hpp>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <vector>

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
  return result.ok() ? 0 : 1;
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
  const char* program_help = "要注册的窗口程序 (默认: vesk-cli 旁边的 vesk, 否则 PATH 中的 vesk)";
  commands->associate = app.add_subcommand("associate", "注册关联 .jmz 加密文件: 用窗口程序打开, 显示本程序的图标");
  commands->associate->add_option("--program", commands->program, program_help);
  commands->context_menu =
      app.add_subcommand("context-menu", "在文件管理器 (GNOME 文件, Thunar, Dolphin, Nemo, Caja) 的右键菜单中增加 “用 Vesk 加密” 和 “用 Vesk 解密”");
  commands->context_menu->add_option("--program", commands->program, program_help);
  commands->unregister = app.add_subcommand("unregister", "清除本程序的全部注册项 (文件关联, 右键菜单) 和设置");
  return commands;
}

std::optional<int> RunDesktopCommand(const DesktopCommands& commands) {
  const bool associate = commands.associate->parsed();
  const bool context_menu = commands.context_menu->parsed();
  if (!associate && !context_menu && !commands.unregister->parsed()) return std::nullopt;
  try {
    const shell::Locations at = shell::Locations::ForUser();
    if (!associate && !context_menu) {
      shell::Result result = shell::RemoveAll(at);
      try {
        settings::RemoveSettingsFile(settings::SettingsFilePath());
        result.Add(shell::Place::kSettings, shell::Outcome::kRemoved);
      } catch (const std::exception& e) {
        result.Add(shell::Place::kSettings, shell::Outcome::kFailed, {}, e.what());
      }
      return Report(shell::Action::kUnregister, result);
    }
    const char* path = std::getenv("PATH");
    const auto program = FindWindowProgram(commands.program, OwnProgram(), path != nullptr ? path : "");
    if (!program) {
      if (!commands.program.empty()) {
        std::cerr << "出错: " << commands.program << " 不是可执行的程序。\n";
      } else {
        std::cerr << "出错: 找不到窗口程序 vesk (vesk-cli 旁边和 PATH 中都没有)。请用 --program 指定。\n";
      }
      return 1;
    }
    std::cerr << "窗口程序: " << *program << '\n';
    if (associate) return Report(shell::Action::kAssociate, shell::RegisterAssociation(at, *program));
    return Report(shell::Action::kContextMenu, shell::AddContextMenu(at, *program));
  } catch (const std::exception& e) {
    std::cerr << "出错: " << e.what() << '\n';
    return 1;
  }
}

bool DesktopCommand::Parsed() const {
  return commands_->associate->parsed() || commands_->context_menu->parsed() || commands_->unregister->parsed();
}

}  // namespace vesk::cli
