// The popup items that tie the program into the desktop: the ".jmz" file
// association, the context-menu items for files and folders, and the
// removal of both with the settings. Each runs the registration command and
// says in the status line what it did and what it could not do, and why; a
// failure beeps as well.
#include "app/texts.h"
#include "app/window_logic.h"
#include "commands/registration_command.h"

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
  r.Add(shell::Place::kProgram, shell::Outcome::kFailed, {}, text::kProgramGone);
  return r;
}

}  // namespace

void WindowLogic::PresentRegistration(shell::Action action, const shell::Result& result) {
  ShowStatus(shell::Summary(action, result));
  if (!result.ok()) Beep();
}

void WindowLogic::SetShellProgram(std::string program) { shell_setup_.program = std::move(program); }
void WindowLogic::SetShellFolders(shell::Locations folders) { shell_setup_.folders = std::move(folders); }
void WindowLogic::SetShellDesktop(shell::Desktop desktop) { shell_setup_.desktop = std::move(desktop); }

void WindowLogic::Register(shell::Action action) {
  shell::Result result;
  try {
    commands::RegistrationRequest request;
    request.action = action;
    request.locations = shell_setup_.folders;
    request.desktop = shell_setup_.desktop;
    if (action == shell::Action::kUnregister) {
      // The window keeps showing what it shows until it closes.
      request.remove_settings = [this] { (values_ != nullptr ? *values_ : memory_values_).Remove(); };
      result = commands::RegistrationCommand().Run(request);
    } else if (const auto program = ProgramToRegister(shell_setup_.program)) {
      request.program = *program;
      result = commands::RegistrationCommand().Run(request);
    } else {
      result = NoProgram();
    }
  } catch (const std::exception& e) {
    result.Add(shell::Place::kFolders, shell::Outcome::kFailed, {}, e.what());
  }
  PresentRegistration(action, result);
}

void WindowLogic::RegisterFileTypeClicked() { Register(shell::Action::kAssociate); }
void WindowLogic::AddContextMenuClicked() { Register(shell::Action::kContextMenu); }
void WindowLogic::UnregisterClicked() { Register(shell::Action::kUnregister); }

}  // namespace vesk
