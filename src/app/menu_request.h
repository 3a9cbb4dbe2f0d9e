// What the file managers' context-menu items ask of the window:
// `vesk --encrypt PATH...` or `vesk --decrypt PATH...`, and the window's
// help text (`vesk --help`).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vesk {

enum class MenuCommand { kEncrypt, kDecrypt };

struct MenuRequest {
  MenuCommand command = MenuCommand::kEncrypt;
  // Every path given, byte for byte as the command line holds it (file
  // names need not be UTF-8).
  std::vector<std::string> paths;
};

// The request of a command line (without the program name) that starts
// with "--encrypt" or "--decrypt": every later argument is a path, "--"
// and names that start with "-" included. nullopt for any other command line.
std::optional<MenuRequest> ParseMenuRequest(const std::vector<std::string>& args);

// Whether the command line asks for the help text ("--help" or "-h" as the
// first argument).
bool WantsWindowHelp(const std::vector<std::string>& args);
// What `vesk --help` prints.
std::string WindowHelpText();

}  // namespace vesk
