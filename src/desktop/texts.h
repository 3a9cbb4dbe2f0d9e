// The texts of the desktop integration: what its files show in the desktop
// and the file managers, and how a registration's result reads. The
// context-menu items' names are the ones `vesk --encrypt|--decrypt` shows too.
#pragma once

#include <string>

#include "platform/language.h"

namespace vesk::shell {

// The program's name as the desktop shows it, and the name of the entry in
// a file manager's "Scripts" submenu.
inline constexpr char kProgramName[] = "Vesk 文件加密";
inline constexpr const char* kMenuText = kProgramName;
// The two context-menu items.
inline constexpr char kEncryptItem[] = "用 Vesk 加密";
inline constexpr char kDecryptItem[] = "用 Vesk 解密";
// The same in English: the files that carry both languages name these by
// default and the Chinese ones for zh_CN; the shown texts take either.
inline constexpr char kProgramNameEnglish[] = "Vesk File Encryption";
inline constexpr char kEncryptItemEnglish[] = "Encrypt with Vesk";
inline constexpr char kDecryptItemEnglish[] = "Decrypt with Vesk";
inline const char* ShownEncryptItem() { return ShownLanguage() == Language::kEnglish ? kEncryptItemEnglish : kEncryptItem; }
inline const char* ShownDecryptItem() { return ShownLanguage() == Language::kEnglish ? kDecryptItemEnglish : kDecryptItem; }

namespace text {

// ---- What the written files show ---------------------------------------------

// The comments of the entry that opens ".jmz" files.
inline constexpr char kAssociationComment[] = "Open a .jmz file encrypted by Vesk";
inline constexpr char kAssociationCommentChinese[] = "打开 Vesk 加密的 .jmz 文件";
// The items' tool tips in Thunar and Nemo.
inline constexpr char kEncryptTip[] = "用 Vesk 文件加密加密所选的文件和文件夹";
inline constexpr char kDecryptTip[] = "用 Vesk 文件加密解密所选的 .jmz 或 .age 文件";
inline constexpr char kEncryptTipEnglish[] = "Encrypt the selected files and folders with Vesk File Encryption";
inline constexpr char kDecryptTipEnglish[] = "Decrypt the selected .jmz or .age files with Vesk File Encryption";
// The items' tool tips in the GNOME Files and Caja extensions.
inline constexpr char kExtensionEncryptTip[] = "用 Vesk 文件加密加密所选的文件";
inline constexpr char kExtensionDecryptTip[] = "用 Vesk 文件加密解密所选的文件";
inline constexpr char kExtensionEncryptTipEnglish[] = "Encrypt the selected files with Vesk File Encryption";
inline constexpr char kExtensionDecryptTipEnglish[] = "Decrypt the selected files with Vesk File Encryption";
// The window's buttons that write and remove the extensions, as their
// comment names them.
inline constexpr char kContextMenuButton[] = "快捷方式增加到文件右键菜单";
inline constexpr char kUnregisterButton[] = "清除本程序全部注册表项";

// ---- Why a step failed ----------------------------------------------------------

inline std::string ProgramNotAbsolute(const std::string& program) { return Fill(Tr("程序路径不是绝对路径: {1}"), program); }
inline constexpr Tr kProgramNotUtf8 = Tr("程序路径不是 UTF-8 编码, 桌面文件无法记录");
inline constexpr Tr kProgramHasControlCharacters = Tr("程序路径含有控制字符, 桌面文件无法记录");
inline std::string NoExecutableProgram(const std::string& program) { return Fill(Tr("没有可执行的程序: {1}"), program); }
inline std::string CannotMakeFolder(const std::string& folder) { return Fill(Tr("无法建立文件夹 {1}"), folder); }
inline std::string NotAFolder(const std::string& path) { return Fill(Tr("{1} 不是文件夹"), path); }
inline std::string CannotExamine(const std::string& path) { return Fill(Tr("无法查看 {1}"), path); }
inline std::string CannotRead(const std::string& path) { return Fill(Tr("无法读取 {1}"), path); }
inline std::string CannotDelete(const std::string& path) { return Fill(Tr("无法删除 {1}"), path); }
inline std::string NotAnEditableList(const std::string& path) { return Fill(Tr("{1} 不是本程序能够修改的列表"), path); }
inline constexpr Tr kNotThunarActions = Tr("uca.xml 不是 Thunar 的动作列表");
inline std::string ToolFailed(const std::string& tool, int status) {
  return Fill(Tr("{1} 失败 (退出码 {2})"), tool, std::to_string(status));
}

// ---- What happened at a place -------------------------------------------------

inline constexpr Tr kUpdated = Tr("已更新");  // a database
inline constexpr Tr kWritten = Tr("已写入");
inline constexpr Tr kUnchanged = Tr("已是这样, 未改动");
inline constexpr Tr kRemoved = Tr("已删除");
inline constexpr Tr kEntriesRemoved = Tr("已删除本程序的项, 文件保留");
inline constexpr Tr kAbsent = Tr("没有本程序的项");
inline constexpr Tr kKeptForeign = Tr("这里的文件不是本程序写的, 保留未动");
inline constexpr Tr kRefusedForeign = Tr("这里已有不是本程序写的文件, 没有覆盖");
inline std::string Fallback(const std::string& package) {
  return Fill(Tr("没有安装 {1}, 只能放入“脚本”子菜单 (安装 {2} 后再增加一次即为顶层菜单项)"), package, package);
}
inline std::string ToolMissing(const std::string& package) { return Fill(Tr("没有安装 {1}, 未能更新"), package); }
inline std::string Failed(const std::string& why) { return Fill(Tr("出错: {1}"), why); }
inline constexpr Tr kSkipped = Tr("未执行 (前面的步骤没有完成)");

// ---- The places -------------------------------------------------------------------

inline constexpr Tr kPlaceProgram = Tr("程序");
inline constexpr Tr kPlaceMimePackage = Tr("文件类型 .jmz");
inline constexpr Tr kPlaceTypeIcon = Tr(".jmz 文件的图标");
inline constexpr Tr kPlaceAssociationEntry = Tr("打开 .jmz 文件的桌面项");
inline constexpr Tr kPlaceDefaultApplication = Tr("默认程序 (mimeapps.list)");
inline constexpr Tr kPlaceDatabases = Tr("桌面数据库");
inline constexpr Tr kPlaceProgramIcon = Tr("菜单项的图标");
inline constexpr Tr kPlaceNautilus = Tr("GNOME 文件");
inline constexpr char kPlaceThunar[] = "Thunar";
inline constexpr char kPlaceDolphin5[] = "Dolphin (KDE 5)";
inline constexpr char kPlaceDolphin6[] = "Dolphin (KDE 6)";
inline constexpr char kPlaceDolphin[] = "Dolphin";  // both generations, in the summary
inline constexpr char kPlaceNemo[] = "Nemo";
inline constexpr char kPlaceCaja[] = "Caja";
inline constexpr Tr kPlaceFolders = Tr("注册时建立的文件夹");
inline constexpr Tr kPlaceSettings = Tr("设置");

// ---- The summary line -----------------------------------------------------------

// Between the problems (or notes) of a summary, and between its file managers.
inline constexpr char kProblemSeparator[] = "; ";
inline constexpr Tr kMenuSeparator = Tr("、");

inline constexpr Tr kAssociated = Tr("已注册关联 .jmz 加密文件。");
inline std::string AssociationFailed(const std::string& problems) { return Fill(Tr("未能注册关联 .jmz 加密文件: {1}。"), problems); }
inline std::string ContextMenuAdded(const std::string& menus) {
  return Fill(Tr("已在右键菜单中增加 “{1}” 和 “{2}”: {3}。"), ShownEncryptItem(), ShownDecryptItem(), menus);
}
inline std::string ContextMenuFailed(const std::string& problems) { return Fill(Tr("未能在右键菜单中增加本程序: {1}。"), problems); }
inline std::string ContextMenuPartial(const std::string& menus, const std::string& problems) {
  return Fill(Tr("右键菜单项只增加到了 {1}; 未完成: {2}。"), menus, problems);
}
inline constexpr Tr kUnregistered = Tr("已清除本程序的全部注册项和设置。");
inline std::string UnregisterFailed(const std::string& problems) { return Fill(Tr("未能全部清除本程序的注册项: {1}。"), problems); }
// Added to any summary that has notes.
inline std::string Notes(const std::string& notes) { return Fill(Tr(" 注意: {1}。"), notes); }

}  // namespace text
}  // namespace vesk::shell
