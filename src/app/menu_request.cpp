#include "app/menu_request.h"

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
  return "用法: vesk [文件] [/ysl0 | /ysl1 | /ysl2 | /ysl3] [/pbmy]\n"
         "      vesk --encrypt 文件或文件夹...\n"
         "      vesk --decrypt 文件...\n"
         "      vesk --help\n"
         "\n"
         "打开 Vesk 文件加密的窗口。\n"
         "\n"
         "  文件                 预先选中这个文件: 加密或解密时打开文件的对话框里就是它\n"
         "  /ysl0 ... /ysl3      压缩比: 0 不压缩, 1 最快, 2 标准, 3 最大\n"
         "  /pbmy                密钥框显示为 *\n"
         "  --encrypt 路径...    文件管理器右键菜单的 “用 Vesk 加密”: 预先选中第一个文件,\n"
         "                       准备好 “加密文件” 按钮, 状态栏说明收到了几项\n"
         "  --decrypt 路径...    文件管理器右键菜单的 “用 Vesk 解密”: 同上, 准备好 “解密文件”\n"
         "  --help, -h           显示本说明\n"
         "\n"
         "--encrypt 和 --decrypt 之后的每个参数都是一个路径, 原样使用 (不必是 UTF-8)。\n"
         "命令行的加密和解密请用 vesk-cli (vesk-cli --help)。\n";
}

std::string WindowLogic::ApplyMenuRequest(const MenuRequest& request) {
  PassedRequest = request;
  const bool encrypt = request.command == MenuCommand::kEncrypt;
  const Control button = encrypt ? Control::EncryptButton : Control::DecryptButton;
  const std::string item = encrypt ? shell::kEncryptItem : shell::kDecryptItem;
  const std::string caption = encrypt ? "加密文件" : "解密文件";
  ReadyCommand = button;
  port_.SetReadyCommand(button);

  std::string first;
  for (const std::string& path : request.paths) {
    if (FileExists(path)) {
      first = path;
      break;
    }
  }
  const std::size_t count = request.paths.size();
  if (first.empty()) {
    ShowStatus(item + ": " +
               (count == 0 ? std::string("没有收到文件。")
                           : "收到 " + std::to_string(count) + " 项, 其中没有可以处理的文件 (文件夹暂时不能处理)。"));
    return {};
  }
  SetHintText(Hint::Source, first);
  if (count == 1) {
    ShowStatus(item + ": " + first + " — 点 “" + caption + "” 开始。");
  } else {
    ShowStatus(item + ": 收到 " + std::to_string(count) + " 项, 现在一次只处理一个文件, 已选中第一个: " + first +
               " — 点 “" + caption + "” 开始。");
  }
  return first;
}

}  // namespace vesk
