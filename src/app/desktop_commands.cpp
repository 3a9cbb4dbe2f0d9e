// The popup items that tie the program into the desktop: the ".jmz" file
// association, the context-menu items for files and folders, and the
// removal of both with the settings. Each says in the status line what it
// did and what it could not do, and why; a failure beeps as well.
#include "app/window_logic.h"

namespace vesk {
namespace {

// The program the entries start: the one set for the window, else the
// running program by its path name (after an upgrade replaced it while the
// window was open, the new program at the same place).
std::optional<std::string> ProgramToRegister(const std::string& set) {
  if (!set.empty()) return set;
  return shell::RunningProgramPathName();
}

shell::Result NoProgram() {
  shell::Result r;
  r.Add(shell::Place::kProgram, shell::Outcome::kFailed, {},
        "本程序的文件已不在原处 (可能已被升级或删除), 请重新启动本程序后再试");
  return r;
}

}  // namespace

void WindowLogic::PresentRegistration(shell::Action action, const shell::Result& result) {
  ShowStatus(shell::Summary(action, result));
  if (!result.ok()) Beep();
}

void WindowLogic::RegisterFileTypeClicked() {
  shell::Result result;
  try {
    const shell::Locations at = ShellFolders.value_or(shell::Locations::ForUser());
    const auto program = ProgramToRegister(ShellProgram);
    result = program ? shell::RegisterAssociation(at, *program) : NoProgram();
  } catch (const std::exception& e) {
    result.Add(shell::Place::kFolders, shell::Outcome::kFailed, {}, e.what());
  }
  PresentRegistration(shell::Action::kAssociate, result);
}

void WindowLogic::AddContextMenuClicked() {
  shell::Result result;
  try {
    const shell::Locations at = ShellFolders.value_or(shell::Locations::ForUser());
    const auto program = ProgramToRegister(ShellProgram);
    const shell::Desktop desktop = ShellDesktop.value_or(shell::Desktop::OfThisComputer());
    result = program ? shell::AddContextMenu(at, *program, desktop) : NoProgram();
  } catch (const std::exception& e) {
    result.Add(shell::Place::kFolders, shell::Outcome::kFailed, {}, e.what());
  }
  PresentRegistration(shell::Action::kContextMenu, result);
}

void WindowLogic::UnregisterClicked() {
  shell::Result result;
  try {
    const shell::Locations at = ShellFolders.value_or(shell::Locations::ForUser());
    result = shell::RemoveAll(at);
  } catch (const std::exception& e) {
    result.Add(shell::Place::kFolders, shell::Outcome::kFailed, {}, e.what());
  }
  // The settings go even when an entry could not be removed; the window
  // keeps showing what it shows until it closes.
  try {
    (values_ != nullptr ? *values_ : memory_values_).Remove();
    result.Add(shell::Place::kSettings, shell::Outcome::kRemoved);
  } catch (const std::exception& e) {
    result.Add(shell::Place::kSettings, shell::Outcome::kFailed, {}, e.what());
  }
  PresentRegistration(shell::Action::kUnregister, result);
}

}  // namespace vesk
