#include "app/menu_request.h"
#include "app/texts.h"

#include "app/window_logic.h"
#include "desktop/shell_integration.h"
#include "platform/file_io.h"

namespace vesk {

std::optional<MenuRequest> ParseMenuRequest(const std::vector<std::string>& args) {
  if (args.empty()) return std::nullopt;
  MenuRequest request;
  if (args.front() == shell::kEncryptSwitch) {
    request.command = MenuCommand::kEncrypt;
  } else if (args.front() == shell::kDecryptSwitch) {
    request.command = MenuCommand::kDecrypt;
  } else {
    return std::nullopt;
  }
  request.paths.assign(args.begin() + 1, args.end());
  return request;
}

bool WantsWindowHelp(const std::vector<std::string>& args) {
  return !args.empty() && (args.front() == "--help" || args.front() == "-h");
}

std::string WindowHelpText() {
  return text::kWindowHelp;
}

std::string WindowLogic::ApplyMenuRequest(const MenuRequest& request) {
  passed_request_ = request;
  const bool encrypt = request.command == MenuCommand::kEncrypt;
  const Control button = encrypt ? Control::EncryptButton : Control::DecryptButton;
  const std::string item = encrypt ? shell::ShownEncryptItem() : shell::ShownDecryptItem();
  const std::string caption = encrypt ? text::kEncryptButton : text::kDecryptButton;
  ready_command_ = button;
  port_.SetReadyCommand(button);

  // What the command can work on: files, and folders to encrypt.
  std::vector<std::string> taken;
  for (const std::string& path : request.paths) {
    if (FileExists(path) || (encrypt && DirectoryExists(path))) taken.push_back(path);
  }
  const std::size_t count = request.paths.size();
  chosen_paths_.clear();
  if (taken.empty()) {
    ShowStatus(item + ": " +
               (count == 0 ? std::string(text::kNoFilesPassed) : text::NothingToWorkOn(count)));
    return {};
  }
  // One file is preselected in the command's open dialog; several items or
  // a folder are taken by the command all at once, as when dropped.
  if (taken.size() == 1 && FileExists(taken.front())) {
    const std::string& first = taken.front();
    SetHintText(Hint::Source, first);
    ShowStatus(item + ": " + first + text::StartWith(caption));
    return first;
  }
  chosen_paths_ = taken;
  SetHintText(Hint::Source, SourceLine(taken));
  ShowStatus(item + ": " + (taken.size() == 1 ? taken.front() : text::AllOfSeveral(count, taken.size())) +
             text::StartWith(caption));
  return {};
}

}  // namespace vesk
