#include "app/menu_request.h"
#include "app/texts.h"

#include "app/window_logic.h"
#include "desktop/shell_integration.h"
#include "platform/file_io.h"
#include "selfextract/layout.h"
#include "selfextract/texts.h"

namespace vesk {

std::optional<MenuRequest> ParseMenuRequest(const std::vector<std::string>& args) {
  if (args.empty()) return std::nullopt;
  MenuRequest request;
  if (args.front() == shell::kEncryptSwitch) {
    request.command = MenuCommand::kEncrypt;
  } else if (args.front() == shell::kDecryptSwitch) {
    request.command = MenuCommand::kDecrypt;
  } else if (args.front() == kSelfDecryptSwitch) {
    request.command = MenuCommand::kSelfDecrypt;
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
  if (request.command == MenuCommand::kSelfDecrypt) {
    // The start-up has read the file's payload: its two commands are ready,
    // the key box waits for the key.
    const selfextract::SelfDecryptInfo& info = OwnPayload();
    if (!info.CommandsEnabled) {
      ShowStatus(text::NotSelfDecrypting(request.paths.empty() ? std::string() : request.paths.front()));
      return {};
    }
    ready_command_ = Control::SelfDecryptButton;
    port_.SetReadyCommand(Control::SelfDecryptButton);
    port_.FocusControl(Control::DecryptionKey);
    const std::string name = info.PayloadName.empty() ? selfextract::text::kUnnamedPayload : info.PayloadName;
    ShowStatus(selfextract::PayloadStatusText(name, info.PayloadSize) + text::kSelfDecryptNext);
    return {};
  }
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
