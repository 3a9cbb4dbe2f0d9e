#include "cli/desktop_command.h"

#include <unistd.h>

#include <CLI/CLI.hpp>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <vector>

#include "platform/process.h"
#include "platform/shell_integration.h"
#include "settings/value_store.h"

namespace vesk::cli {
namespace {

std::string OwnProgram() {
  std::vector<char> buf(4096);
  const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= buf.size()) return {};
  return std::string(buf.data(), static_cast<std::size_t>(n));
}

int Report(const shell::Result& result, const std::string& done) {
  if (result.ok()) {
    std::cerr << done << '\n';
    return 0;
  }
  for (const std::string& failure : result.failures) std::cerr << "出错: " << failure << '\n';
  return 1;
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
      app.add_subcommand("context-menu", "在文件管理器 (Dolphin, GNOME 文件, Nemo, Caja) 的右键菜单中为所有文件增加 “Vesk 文件加密”");
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
      } catch (const std::exception& e) {
        result.failures.push_back(std::string("settings: ") + e.what());
      }
      return Report(result, "已清除本程序的全部注册项和设置。");
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
    if (associate) return Report(shell::RegisterAssociation(at, *program), "已注册关联 .jmz 加密文件: " + *program);
    return Report(shell::AddContextMenu(at, *program), "已在右键菜单中增加 “Vesk 文件加密”: " + *program);
  } catch (const std::exception& e) {
    std::cerr << "出错: " << e.what() << '\n';
    return 1;
  }
}

}  // namespace vesk::cli
