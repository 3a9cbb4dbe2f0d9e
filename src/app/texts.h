// Every text the window logic shows of its own (the engines' texts live in
// their layers' texts files), by name, one section per command family.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/language.h"

namespace vesk::text {

// ---- Age (the strong format) ------------------------------------------------
// A paste the key boxes refused: too long (in vesk-cli's words), or a line
// break in a box that takes one line.
inline std::string KeyTooLong(std::size_t most) {
  return Fill(Tr("密钥太长: 最多 {1} 个字符 (一个换行算两个)。"), most);
}
inline constexpr Tr kKeyLineBreak =
    Tr("粘贴的文本里有换行符：.age 强加密的密码只能是一行（别的程序输入不了换行符），所以没有粘贴。请只复制密码那一行。");
inline constexpr Tr kInspectOpenTitle = Tr("选择要查看的 age 加密文件");
inline constexpr Tr kInspectOpenFilter = Tr("age加密文件(*.age)|*.age|全部文件(*.*)|*.*");
inline std::string InspectCaption(const std::string& path) { return Fill(Tr("age 文件信息：{1}"), path); }


// ---- Batches and folders ----------------------------------------------------
inline std::string FilesCount(std::size_t count) {
  return FillN(TrN("共 {1} 个文件", "共 {1} 个文件"), count, std::to_string(count));
}
inline constexpr Tr kNotBegun = Tr("没有开始(已取消)。");
inline std::string BatchHeadline(const std::string& sources, int done, int failed, int skipped) {
  return Fill(Tr("{1}：已完成 {2} 个，没有完成 {3} 个，跳过 "
                   "{4} 个。"), sources, std::to_string(done), std::to_string(failed), std::to_string(skipped));
}
inline constexpr Tr kBatchDone = Tr("\n已完成：");
inline constexpr Tr kBatchNotDone = Tr("\n没有完成：");
inline constexpr Tr kBatchSkipped = Tr("\n跳过：");
inline constexpr Tr kFolderNoKeyNoLevel = Tr("请选择文件压缩率进行压缩或者输入密钥进行加密。");
inline constexpr Tr kFolderJmzFilter = Tr("jmz加密文件(*.jmz)|*.jmz|全部文件(*.*)|*.*");
inline constexpr Tr kFolderJmzSaveTitle = Tr("加密后的文件保存为");
inline constexpr Tr kFolderZakFilter = Tr("zak文件(*.zak)|*.zak|全部文件(*.*)|*.*");
inline constexpr Tr kFolderZakSaveTitle = Tr("压缩后的文件保存为");
inline constexpr Tr kFolderEncrypting = Tr("加密文件 ...");
inline std::string FolderOutputHint(bool encrypted, const std::string& target) {
  return encrypted ? Fill(Tr("加密后的文件：{1}"), target) : Fill(Tr("压缩后的文件：{1}"), target);
}
inline std::string FolderSourceHint(const std::string& folder) { return Fill(Tr("进行加密的文件夹：{1}"), folder); }
inline constexpr Tr kFolderEncryptFailed = Tr("加密文件出错!已停止。");
inline constexpr Tr kFolderChooserTitle = Tr("选择要加密的文件夹");
inline std::string UnpackOutputHint(const std::string& folder) { return Fill(Tr("解开后的文件夹：{1}"), folder); }
inline std::string UnpackSourceHint(const std::string& tar) { return Fill(Tr("进行解开的文件：{1}"), tar); }
inline constexpr Tr kEncryptCancelledText = Tr("加密文件已取消。");
inline constexpr Tr kReplaceCaptionText = Tr("替换文件");
inline std::string ReplaceQuestionText(const std::string& path) { return Fill(Tr("{1} 文件已经存在,是否替换? 否 则不替换, 跳过这个文件。"), path); }
// A decrypted folder's tar file and the folder it is unpacked into; the
// proposed folder being taken, where else it would go.
inline std::string UnpackQuestion(const std::string& tar, const std::string& folder) {
  return Fill(Tr("解开文件夹？\n“{1}” 解开到新的文件夹 “{2}”。"), tar, folder);
}
inline std::string UnpackQuestionTaken(const std::string& tar, const std::string& taken, const std::string& free) {
  return Fill(Tr("解开文件夹？\n文件夹 “{1}” 已经存在，不会被改动：“{2}” 将解开到另外的文件夹 (建议 “{3}”)。"), taken, tar, free);
}
inline std::string NewFolderTitle(const std::string& taken) { return Fill(Tr("文件夹 “{1}” 已经存在，解开到另外的文件夹"), taken); }


// ---- Compression and keyed containers ---------------------------------------
// (What the window shows alike with the keyed engines - cancelled, failed,
// the replace question - it takes from keyed/texts.h.)

inline constexpr Tr kNothingToDo = Tr("请选择文件压缩率进行压缩或者输入密钥进行加密。");
// The window was started to encrypt ("用 Vesk 加密") and the key box is empty.
inline constexpr Tr kCompressOnlyCaption = Tr("没有输入密钥");
inline constexpr Tr kCompressOnlyQuestion =
    Tr("还没有输入加密的密钥。\n是: 只压缩为 .zak 文件，不加密 (任何人都能打开)。\n否: 先输入密钥。");
inline constexpr Tr kKeyWanted = Tr("请先在左边的框里输入加密的密钥，再点 “加密文件”。");
// A run that completed: its last status and the file (or folder) it wrote.
inline std::string DoneWithOutput(const std::string& done, const std::string& output) { return done + " — " + output; }
inline constexpr Tr kEncryptionKeyNotGbk = Tr("加密的密钥中有GBK编码不能表示的字符，不能使用。请改用其他字符。");
inline constexpr Tr kDecryptionKeyNotGbk = Tr("解密的密钥中有GBK编码不能表示的字符，不能使用。请改用其他字符。");
inline std::string ExtensionNotGbk(const std::string& ext) {
  return Fill(Tr("文件扩展名“{1}”中有GBK编码不能表示的字符，加密的文件里不保存扩展名，解密后请改正文件扩展名。"), ext);
}

// The cancel questions of the busy encrypt and decrypt buttons.
inline std::string CancelEncryptQuestion(const std::string& file) { return Fill(Tr("真的要取消加密：“{1}”吗?"), file); }
inline constexpr Tr kCancelEncryptCaption = Tr("取消加密");
inline std::string CancelDecryptQuestion(const std::string& file) { return Fill(Tr("真的要取消解密：“{1}”吗?"), file); }
inline constexpr Tr kCancelDecryptCaption = Tr("取消解密");

// The file dialogs of the encrypt and decrypt buttons.
inline constexpr Tr kAllFilesFilter = Tr("全部文件(*.*)|*.*");
inline constexpr Tr kEncryptOpenTitle = Tr("选择要加密的文件进行加密");
inline constexpr Tr kContainerSaveFilter = Tr("jmz加密文件(*.jmz)|*.jmz|全部文件(*.*)|*.*");
inline constexpr Tr kEncryptSaveTitle = Tr("加密后的文件保存为");
inline constexpr Tr kCompressedSaveFilter = Tr("zak文件(*.zak)|*.zak|全部文件(*.*)|*.*");
inline constexpr Tr kCompressSaveTitle = Tr("压缩后的文件保存为");
inline constexpr Tr kDecryptOpenFilter =
    Tr("jmz文件(*.jmz)|*.jmz|zak文件(*.zak)|*.zak|age加密文件(*.age)|*.age|全部文件(*.*)|*.*");
// With the strong format chosen, its files come first.
inline constexpr Tr kDecryptOpenFilterAgeFirst =
    Tr("age加密文件(*.age)|*.age|jmz文件(*.jmz)|*.jmz|zak文件(*.zak)|*.zak|全部文件(*.*)|*.*");
inline constexpr Tr kDecryptOpenTitle = Tr("选择要解密的文件进行解密");
inline constexpr Tr kDecryptSaveTitle = Tr("解密后的文件保存为");

// The status line and hints while an encryption or a compression runs.
inline constexpr Tr kEncryptStarting = Tr("加密文件 ...");
inline constexpr Tr kCompressRunning = Tr("进行压缩文件...");
inline constexpr Tr kDecompressRunning = Tr("进行解压缩文件...");
inline std::string EncryptOutputHint(const std::string& target) { return Fill(Tr("加密后的文件：{1}"), target); }
inline std::string EncryptSourceHint(const std::string& source) { return Fill(Tr("进行加密的文件：{1}"), source); }
inline std::string CompressOutputHint(const std::string& zak) { return Fill(Tr("压缩后的文件：{1}"), zak); }

// The end of a compression run: its stage's status with this appended when
// it completed; the stage with kCannotComplete and why, when it failed.
inline constexpr Tr kStageDone = Tr(" 已完成。");
inline constexpr Tr kCannotComplete = Tr("不能完成！已经取消。");
inline std::string CompressionSourceUnreadable(const std::string& source) { return Fill(Tr("无法读取文件“{1}”。"), source); }
inline std::string CompressionTargetAppeared(const std::string& target) { return Fill(Tr("文件“{1}”已经存在。"), target); }


// ---- Desktop registration ---------------------------------------------------
// Why nothing was registered: the running program's file is gone.
inline constexpr Tr kProgramGone = Tr("本程序的文件已不在原处 (可能已被升级或删除), 请重新启动本程序后再试");


// ---- Key-less containers ----------------------------------------------------
inline constexpr Tr kKeylessEncryptIdle = Tr("创建不保存密钥的加密文件");
inline constexpr Tr kKeylessDecryptIdle = Tr("解密不保存密钥的加密文件");
inline constexpr Tr kKeylessEncryptCancelCaption = Tr("取消加密");
inline constexpr Tr kKeylessDecryptCancelCaption = Tr("取消解密");
inline std::string KeylessEncryptCancelQuestion(const std::string& source) { return Fill(Tr("真的要取消加密：“{1}”吗?"), source); }
inline std::string KeylessDecryptCancelQuestion(const std::string& source) { return Fill(Tr("真的要取消解密：“{1}”吗?"), source); }
inline constexpr Tr kKeylessEncryptNoKey = Tr("密钥不能为空,请输入加密的密钥。");
inline constexpr Tr kKeylessDecryptNoKey = Tr("密钥不能为空,请输入解密的密钥。");
inline constexpr Tr kKeylessEncryptOpenFilter = Tr("全部文件(*.*)|*.*");
inline constexpr Tr kKeylessAnyFilter = Tr("全部文件(*.*)|*.*");
inline constexpr Tr kKeylessSaveFilter = Tr("jmz加密文件(*.jmz)|*.jmz|全部文件(*.*)|*.*");
inline constexpr Tr kKeylessEncryptOpenTitle = Tr("选择文件进行不保存密钥加密");
inline constexpr Tr kKeylessDecryptOpenTitle = Tr("选择文件进行解密");
inline constexpr Tr kKeylessEncryptSaveTitle = Tr("加密后的文件保存为");
inline constexpr Tr kKeylessDecryptSaveTitle = Tr("解密后的文件保存为");


// ---- Self-decrypting files --------------------------------------------------
inline constexpr Tr kCreateOpenFilter = Tr("jmz加密文件(*.jmz)|*.jmz|全部文件(*.*)|*.*");
inline constexpr Tr kCreateOpenTitle = Tr("选择已加密文件创建自解密文件");
inline constexpr Tr kCreateSaveFilter = Tr("自解密文件(*.run)|*.run|全部文件(*.*)|*.*");
inline constexpr Tr kCreateSaveTitle = Tr("创建自解密后的文件保存为");
inline constexpr Tr kCreateCancelCaption = Tr("取消创建");
inline std::string CreateCancelQuestion(const std::string& source) {
  return Fill(Tr("真的要取消：“{1}”创建自解密文件吗?"), source);
}
inline constexpr Tr kSelfDecryptSaveFilter = Tr("全部文件(*.*)|*.*");
inline constexpr Tr kSelfDecryptSaveTitle = Tr("解密后的文件保存为");
inline constexpr Tr kSelfDecryptCancelCaption = Tr("取消自解密");
inline constexpr Tr kSelfDecryptCancelledText = Tr("自解密文件已取消。");
inline std::string SelfDecryptCancelQuestion(const std::string& shown_name) {
  return Fill(Tr("真的要取消自解密：“{1}”吗?"), shown_name);
}
inline constexpr Tr kSeparateSaveFilter = Tr("jmz加密文件(*.jmz)|*.jmz|全部文件(*.*)|*.*");
inline constexpr Tr kSeparateSaveTitle = Tr("分离后的文件保存为");
inline constexpr Tr kSeparateCancelCaption = Tr("取消分离");
inline std::string SeparateCancelQuestion(const std::string& shown_name) {
  return Fill(Tr("真的要取消分离自解密文件：“{1}”吗?"), shown_name);
}


// ---- Shredder ---------------------------------------------------------------
// The open dialog's filter.
inline constexpr Tr kShredFilter = Tr("全部文件(*.*)|*.*");
// A stop before every byte was zeroed: how far the zeros reached.
inline std::string ShredStoppedPartly(const std::string& path, int64_t percent) {
  return Fill(Tr("粉碎文件已停止：“{1}” 已有约 {2}% 被零覆盖，这部分内容已无法恢复；文件已部分损坏，没有删除。"), path,
              percent);
}


// ---- Start-up and small commands --------------------------------------------
inline constexpr Tr kProgramTitle = Tr("Vesk 文件加密");
inline constexpr Tr kMessageCaption = Tr("Vesk 文件加密 (当此窗体后置隐藏，请点另外程序窗体再点回此程序)");
// The command buttons' captions, idle and busy.
inline constexpr Tr kEncryptButton = Tr("加密文件");
inline constexpr Tr kDecryptButton = Tr("解密文件");
inline constexpr Tr kCreateSelfDecryptingButton = Tr("创建自解密");
inline constexpr Tr kSelfDecryptButton = Tr("自解密");
inline constexpr Tr kSeparateButton = Tr("分离");
inline constexpr Tr kCancelEncryptButton = Tr("取消加密");
inline constexpr Tr kCancelDecryptButton = Tr("取消解密");
inline constexpr Tr kCancelCreateButton = Tr("取消创建");
inline constexpr Tr kCancelButton = Tr("取消");
// vesk --help.
inline constexpr Tr kWindowHelp =
    Tr("用法: vesk [文件] [/ysl0 | /ysl1 | /ysl2 | /ysl3] [/pbmy]\n"
    "      vesk --encrypt 文件或文件夹...\n"
    "      vesk --decrypt 文件...\n"
    "      vesk --self-decrypt 文件.run\n"
    "      vesk --help\n"
    "\n"
    "打开 Vesk 文件加密的窗口。\n"
    "\n"
    "  文件                 预先选中这个文件: 加密或解密时打开文件的对话框里就是它\n"
    "  /ysl0 ... /ysl3      压缩比: 0 不压缩, 1 最快, 2 标准, 3 最大\n"
    "  /pbmy                勾选 “屏蔽密钥”: 密钥框的文字和背景同色, 看不见 (会被保存)\n"
    "  --encrypt 路径...    文件管理器右键菜单的 “用 Vesk 加密”: 预先选中第一个文件,\n"
    "                       准备好 “加密文件” 按钮, 状态栏说明收到了几项\n"
    "  --decrypt 路径...    文件管理器右键菜单的 “用 Vesk 解密”: 同上, 准备好 “解密文件”\n"
    "  --self-decrypt 文件  自解密文件 (.run) 不在终端里启动时交给窗口: 准备好 “自解密” 和 “分离”\n"
    "  --help, -h           显示本说明\n"
    "\n"
    "--encrypt 和 --decrypt 之后的每个参数都是一个路径, 原样使用 (不必是 UTF-8)。\n"
    "命令行的加密和解密请用 vesk-cli (vesk-cli --help)。\n");
// What a context-menu item's request says in the status line.
inline constexpr Tr kNoFilesPassed = Tr("没有收到文件。");
inline std::string NothingToWorkOn(std::size_t count) {
  return FillN(TrN("收到 {1} 项, 其中没有可以处理的文件。", "收到 {1} 项, 其中没有可以处理的文件。"), count,
               std::to_string(count));
}
inline std::string StartWith(const std::string& caption) { return Fill(Tr(" — 点 “{1}” 开始。"), caption); }
// `vesk --self-decrypt FILE`: what the file carries, and how to go on.
inline constexpr Tr kSelfDecryptNext = Tr(" — 在右边的框输入解密的密钥后点 “自解密”，或点 “分离”。");
inline std::string NotSelfDecrypting(const std::string& file) { return Fill(Tr("“{1}” 不是自解密文件，没有附带加密的文件。"), file); }
// Why the self-decrypt and separate buttons are greyed.
inline constexpr Tr kNoPayloadHint =
    Tr("只有打开自解密文件 (.run) 时才能使用：双击自解密文件，或者 vesk --self-decrypt 文件.run");
// Several items (or a folder) passed: the command works on all of them.
inline std::string AllOfSeveral(std::size_t count, std::size_t taken) {
  return FillN(TrN("收到 {1} 项, 一起处理其中的 {2} 项", "收到 {1} 项, 一起处理其中的 {2} 项"), count,
               std::to_string(count), std::to_string(taken));
}
// The key boxes' hints.
inline std::string KeyLength(std::size_t bytes, const char* unit) { return Fill(Tr("密钥长度为:{1}{2}"), std::to_string(bytes), unit); }
inline constexpr Tr kBytesClicked = Tr("字节");
inline constexpr Tr kBytesHovered = Tr("个字节");
inline constexpr Tr kNoSoftKeyboard = Tr("软键盘不存在，请使用输入法的软键盘。");
inline constexpr Tr kNoOnlineUpdateCheck =
    Tr("本程序不联网检查更新：打开的是随程序安装的本地网页，最新版本请到 Vesk 主页查看。");
inline std::string PageNotOpened(const std::string& file) { return Fill(Tr("无法打开网页，请用浏览器打开网页文件：\r\n{1}"), file); }
inline constexpr Tr kAboutHead = Tr("Vesk 文件压缩加密程序 \r\n\r\n     作者: Vesk 开发组\r\n     2005-2026\r\n     版本:");


}  // namespace vesk::text
