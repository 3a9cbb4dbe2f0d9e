// Every text the Qt window shows of its own (the window logic's and the
// engines' texts live in their layers' texts files), by name.
#pragma once

#include "platform/language.h"

namespace vesk::gui::text {

// ---- The main window ---------------------------------------------------------
inline constexpr Tr kWindowTitle = Tr("Vesk 文件加密");
inline constexpr Tr kKeyHint = Tr("密钥长度最长为1028个字体(即密钥大小最大可以为2056个字节)");
inline constexpr Tr kTopPanelHint = Tr("鼠标右键单击显示菜单...,鼠标左键双击改变窗体颜色");
inline constexpr Tr kBrandHint = Tr("鼠标单击显示菜单...鼠标左键双击改变Vesk颜色");
inline constexpr Tr kEncryptButton = Tr("加密文件");
inline constexpr Tr kEncryptButtonHint = Tr("选择任意文件进行加密处理，无密码就只压缩不加密");
inline constexpr Tr kResizeButtonHint = Tr("窗体缩放");
inline constexpr Tr kDecryptButton = Tr("解密文件");
inline constexpr Tr kDecryptButtonHint = Tr("选择任意本程序加密过的文件进行解密处理");
inline constexpr Tr kProgressBarHint = Tr("进度条");
inline constexpr Tr kDecryptionKeyLabel = Tr("请先输入解密的密钥：");
inline constexpr Tr kEncryptionKeyLabel = Tr("请先输入加密的密钥：");
inline constexpr Tr kRatioGroup = Tr("文件压缩率");
inline constexpr Tr kRatioGroupHint = Tr("直接压缩或者保存密钥加密文件时用的,解密时不需选择");
inline constexpr Tr kRatioItems[] = {Tr("不压缩"), Tr("快速压缩"), Tr("正常压缩"), Tr("最大压缩")};
inline constexpr Tr kSoftKeyboardButton = Tr("软键盘");
inline constexpr Tr kSoftKeyboardHint = Tr("打开软键盘，使用输入法的软键盘可能会更好。");
inline constexpr Tr kKeyMasking = Tr("屏蔽密钥");
inline constexpr Tr kCreateSelfDecryptingButton = Tr("创建自解密");
inline constexpr Tr kCreateSelfDecryptingHint = Tr("创建包含自解密程序的加密文件");
inline constexpr Tr kSelfDecryptButton = Tr("自解密");
inline constexpr Tr kSelfDecryptHint = Tr("解密自身包含的已加密文件");
inline constexpr Tr kSeparateButton = Tr("分离");
inline constexpr Tr kSeparateHint = Tr("加解密程序和自身包含的已加密文件分离");
inline constexpr Tr kStatusBarStart = Tr("  请先输入(或者粘贴)加密或者解密的密钥,再进行加/解密文件的操作...");

// ---- The popup menu ------------------------------------------------------------
inline constexpr Tr kClearKeysItem = Tr("清空加解密钥编辑框的内容");
inline constexpr Tr kClearClipboardItem = Tr("清空剪贴板文本内容(粘贴密钥后用的)");
inline constexpr Tr kEncryptFolderItem = Tr("加密文件夹…");
inline constexpr Tr kShredItem = Tr("粉碎文件(彻底删除文件，慎用)");
inline constexpr Tr kGenerateIdentityItem = Tr("生成身份密钥…");
inline constexpr Tr kEncryptToRecipientsItem = Tr("加密给接收者(公钥)…");
inline constexpr Tr kChooseIdentitiesItem = Tr("选择解密用的身份密钥文件…");
inline constexpr Tr kInspectAgeFileItem = Tr("查看 age 文件信息…");
inline constexpr Tr kRegisterFileTypeItem = Tr("注册关联jmz加密文件");
inline constexpr Tr kContextMenuItem = Tr("快捷方式增加到文件右键菜单");
inline constexpr Tr kUnregisterItem = Tr("清除本程序全部注册表项");
inline constexpr Tr kHelpItem = Tr("帮助...");
inline constexpr Tr kCheckForUpdatesItem = Tr("检查更新...");
inline constexpr Tr kHomePageItem = Tr("主页...");
inline constexpr Tr kAboutItem = Tr("关于...");
inline constexpr Tr kKeylessEncryptItem = Tr("创建不保存密钥的加密文件");
inline constexpr Tr kKeylessDecryptItem = Tr("解密不保存密钥的加密文件");
// The language item names the other language, which the next start uses.
inline constexpr Tr kUseEnglishItem = Tr("下次启动时使用英文界面");
inline constexpr Tr kUseChineseItem = Tr("下次启动时使用中文界面");
inline constexpr Tr kEnglishNextStart = Tr("下次启动本程序时窗口将显示英文。");
inline constexpr Tr kChineseNextStart = Tr("下次启动本程序时窗口将显示中文。");

// ---- The strong format's controls and dialogs ---------------------------------
inline constexpr Tr kFormatLabel = Tr("加密格式：");
inline constexpr Tr kFormatJmz = Tr("兼容 .jmz");
inline constexpr Tr kFormatJmzHint = Tr("加密按钮写兼容的 .jmz 文件：其他实现也能打开，但挡不住有决心的攻击者");
inline constexpr Tr kFormatAge = Tr(".age 强加密");
inline constexpr Tr kFormatAgeHint =
    Tr("加密按钮写 age v1 文件 (scrypt 密码, ChaCha20-Poly1305)：age 和 rage 等工具都能打开。\n"
    "右边的框再输入一次密码确认；菜单里可以生成身份密钥、加密给接收者的公钥");
inline constexpr Tr kKeyStrengthHint = Tr("密码强度 (zxcvbn 估计): 0 最弱 … 4 最强");
inline constexpr Tr kKeyStrength = Tr("强度");
inline constexpr Tr kPassphraseLabel = Tr("请先输入加密的密码：");
inline constexpr Tr kConfirmationLabel = Tr("确认密码，或解密的密钥：");
inline constexpr Tr kRecipientsTitle = Tr("加密给接收者");
inline constexpr Tr kRecipientsExplanation =
    Tr("接收者的公钥，每行一个；# 开头的行是注释：age1…、后量子的 age1pq1…、\n"
    "SSH 公钥 (ssh-ed25519、ssh-rsa，.pub 或 authorized_keys 的行)、插件的 age1名字1…。\n"
    "只有持有对应身份密钥的人才能解密，不需要密码。");
inline constexpr Tr kRecipientsFileButton = Tr("选择接收者文件…");
inline constexpr Tr kAllFilesFilter = Tr("全部文件(*.*)|*.*");
inline constexpr Tr kRecipientsFileTitle = Tr("选择接收者文件");
inline constexpr Tr kGeneratePassphraseItem = Tr("生成强密码 (填入两个框)");
inline constexpr Tr kPassphraseShownTitle = Tr("新的密码");
inline constexpr Tr kCopyButton = Tr("复制");
inline constexpr Tr kPassphraseShown =
    Tr("新的密码已经填入两个框。请把它抄下来或者存到密码管理器里：忘了它就打不开用它加密的文件。");
inline constexpr Tr kIdentityTitle = Tr("生成身份密钥");
inline constexpr Tr kIdentityPostQuantum = Tr("后量子 (ML-KEM-768 + X25519，推荐)");
inline constexpr Tr kIdentityPostQuantumHint =
    Tr("公钥 age1pq1… 约 2000 个字符：今天加密的文件将来也不怕量子计算机。age 1.3 以上和本程序都能用");
inline constexpr Tr kIdentityClassic = Tr("传统 X25519");
inline constexpr Tr kIdentityClassicHint = Tr("公钥 age1… 只有 62 个字符：所有 age 工具都能用");
inline constexpr Tr kIdentityProtect = Tr("用密码保护身份密钥文件");
inline constexpr Tr kIdentityProtectHint = Tr("文件是用这个密码加密的 age 文件 (age -d 可以打开)；每次解密时询问密码");
inline constexpr Tr kIdentityPassphrase = Tr("密码：");
inline constexpr Tr kIdentityPassphraseAgain = Tr("再输入一次：");
inline constexpr Tr kIdentityMismatch = Tr("两次输入的密码不相同");
inline constexpr Tr kAskTitle = Tr("Vesk 文件加密");

// ---- Dialogs -----------------------------------------------------------------------
inline constexpr Tr kYesToAll = Tr("全部是");
inline constexpr Tr kNoToAll = Tr("全部否");
// Qt's own catalogue has no Chinese word for a folder.
inline constexpr Tr kFolderType = Tr("文件夹");
// The widest file type the file dialog's type column is sized for.
inline constexpr Tr kWidestFileType = Tr("DOS/Windows 可执行文件");

// ---- Without a display -------------------------------------------------------------
inline constexpr Tr kNoDisplay =
    Tr("vesk: 没有可用的图形显示 (DISPLAY 和 WAYLAND_DISPLAY 都没有设置), 不能打开窗口。\n"
    "vesk: no graphical display (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
    "\n"
    "没有显示时请使用命令行版本 vesk-cli:\n"
    "  vesk-cli encrypt FILE --key-file KEYFILE      加密为 FILE.jmz (先正常压缩)\n"
    "  vesk-cli decrypt FILE.jmz --key-file KEYFILE  解密\n"
    "  vesk-cli compress FILE                        只压缩为 FILE.zak\n"
    "  vesk-cli decompress FILE.zak                  解压缩\n"
    "  vesk-cli --help                               全部选项\n");

}  // namespace vesk::gui::text
