// What the file managers' context-menu items ask of the window:
// `vesk --encrypt PATH...` or `vesk --decrypt PATH...`; what a
// self-decrypting file started without a terminal asks of it:
// `vesk --self-decrypt FILE`; and the window's help text (`vesk --help`).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vesk {

// `vesk --self-decrypt FILE`: a self-decrypting file started without a
// terminal hands itself to the window, its commands ready.
inline constexpr const char* kSelfDecryptSwitch = "--self-decrypt";

enum class MenuCommand { kEncrypt, kDecrypt, kSelfDecrypt };

struct MenuRequest {
  MenuCommand command = MenuCommand::kEncrypt;
  // Every path given, byte for byte as the command line holds it (file
  // names need not be UTF-8).
  std::vector<std::string> paths;
};

// The request of a command line (without the program name) that starts
// with "--encrypt", "--decrypt" or "--self-decrypt": every later argument is
// a path, "--" and names that start with "-" included (the self-decrypting
// file is the first). nullopt for any other command line.
std::optional<MenuRequest> ParseMenuRequest(const std::vector<std::string>& args);

// Whether the command line asks for the help text ("--help" or "-h" as the
// first argument).
bool WantsWindowHelp(const std::vector<std::string>& args);
// What `vesk --help` prints.
std::string WindowHelpText();

}  // namespace vesk
