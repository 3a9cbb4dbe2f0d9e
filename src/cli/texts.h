// Every text vesk-cli and vesk-sfx show of their own (the engines' texts live
// in their layers' texts files), by name.
#pragma once

#include <string>

namespace vesk::cli::text {

// ---- Age (the strong format) ------------------------------------------------


// ---- Desktop registration ---------------------------------------------------
inline constexpr const char* kProgramHelp = "要注册的窗口程序 (默认: vesk-cli 旁边的 vesk, 否则 PATH 中的 vesk)";
inline constexpr const char* kAssociateHelp = "注册关联 .jmz 加密文件: 用窗口程序打开, 显示本程序的图标";
inline constexpr const char* kContextMenuHelp =
    "在文件管理器 (GNOME 文件, Thunar, Dolphin, Nemo, Caja) 的右键菜单中增加 “用 Vesk 加密” 和 “用 Vesk 解密”";
inline constexpr const char* kUnregisterHelp = "清除本程序的全部注册项 (文件关联, 右键菜单) 和设置";
inline constexpr const char* kNoWindowProgram =
    "出错: 找不到窗口程序 vesk (vesk-cli 旁边和 PATH 中都没有)。请用 --program 指定。";
inline std::string NotAProgram(const std::string& given) { return "出错: " + given + " 不是可执行的程序。"; }
inline std::string WindowProgram(const std::string& program) { return "窗口程序: " + program; }
inline std::string RegistrationError(const std::string& what) { return "出错: " + what; }


// ---- File commands (encrypt, compress, decrypt, decompress, unpack) ---------


// ---- Key-less containers ----------------------------------------------------


// ---- Questions answered by an option ----------------------------------------
inline constexpr const char* kAnsweredYes = " -> 是";
inline constexpr const char* kAnsweredNo = " -> 否";


// ---- Self-decrypting files --------------------------------------------------


// ---- Shredder ---------------------------------------------------------------
inline constexpr const char* kShredHelp = "粉碎文件: 用零覆盖文件的全部内容一次，写到磁盘后删除 (慎用)";
inline constexpr const char* kShredFileHelp = "要粉碎的文件";
inline constexpr const char* kShredYesHelp = "每个文件的确认问题都回答“是”";
inline constexpr const char* kShredNoHelp = "每个文件的确认问题都回答“否”";


}  // namespace vesk::cli::text
