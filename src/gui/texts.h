// Every text the Qt window shows of its own (the window logic's and the
// engines' texts live in their layers' texts files), by name.
#pragma once

namespace vesk::gui::text {

// ---- The main window ---------------------------------------------------------
inline constexpr const char* kWindowTitle = "Vesk 文件加密";
inline constexpr const char* kKeyHint = "密钥长度最长为1028个字体(即密钥大小最大可以为2056个字节)";
inline constexpr const char* kTopPanelHint = "鼠标右键单击显示菜单...,鼠标左键双击改变窗体颜色";
inline constexpr const char* kBrandHint = "鼠标单击显示菜单...鼠标左键双击改变Vesk颜色";
inline constexpr const char* kEncryptButton = "加密文件";
inline constexpr const char* kEncryptButtonHint = "选择任意文件进行加密处理，无密码就只压缩不加密";
inline constexpr const char* kResizeButtonHint = "窗体缩放";
inline constexpr const char* kDecryptButton = "解密文件";
inline constexpr const char* kDecryptButtonHint = "选择任意本程序加密过的文件进行解密处理";
inline constexpr const char* kProgressBarHint = "进度条";
inline constexpr const char* kDecryptionKeyLabel = "请先输入解密的密钥：";
inline constexpr const char* kEncryptionKeyLabel = "请先输入加密的密钥：";
inline constexpr const char* kRatioGroup = "文件压缩率";
inline constexpr const char* kRatioGroupHint = "直接压缩或者保存密钥加密文件时用的,解密时不需选择";
inline constexpr const char* kRatioItems[] = {"不压缩", "快速压缩", "正常压缩", "最大压缩"};
inline constexpr const char* kSoftKeyboardButton = "软键盘";
inline constexpr const char* kSoftKeyboardHint = "打开软键盘，使用输入法的软键盘可能会更好。";
inline constexpr const char* kKeyMasking = "屏蔽密钥";
inline constexpr const char* kCreateSelfDecryptingButton = "创建自解密";
inline constexpr const char* kCreateSelfDecryptingHint = "创建包含自解密程序的加密文件";
inline constexpr const char* kSelfDecryptButton = "自解密";
inline constexpr const char* kSelfDecryptHint = "解密自身包含的已加密文件";
inline constexpr const char* kSeparateButton = "分离";
inline constexpr const char* kSeparateHint = "加解密程序和自身包含的已加密文件分离";
inline constexpr const char* kStatusBarStart = "  请先输入(或者粘贴)加密或者解密的密钥,再进行加/解密文件的操作...";

// ---- The popup menu ------------------------------------------------------------
inline constexpr const char* kClearKeysItem = "清空加解密钥编辑框的内容";
inline constexpr const char* kClearClipboardItem = "清空剪贴板文本内容(粘贴密钥后用的)";
inline constexpr const char* kEncryptFolderItem = "加密文件夹…";
inline constexpr const char* kShredItem = "粉碎文件(彻底删除文件，慎用)";
inline constexpr const char* kGenerateIdentityItem = "生成身份密钥…";
inline constexpr const char* kEncryptToRecipientsItem = "加密给接收者(公钥)…";
inline constexpr const char* kChooseIdentitiesItem = "选择解密用的身份密钥文件…";
inline constexpr const char* kInspectAgeFileItem = "查看 age 文件信息…";
inline constexpr const char* kRegisterFileTypeItem = "注册关联jmz加密文件";
inline constexpr const char* kContextMenuItem = "快捷方式增加到文件右键菜单";
inline constexpr const char* kUnregisterItem = "清除本程序全部注册表项";
inline constexpr const char* kHelpItem = "帮助...";
inline constexpr const char* kCheckForUpdatesItem = "检查更新...";
inline constexpr const char* kHomePageItem = "主页...";
inline constexpr const char* kAboutItem = "关于...";
inline constexpr const char* kKeylessEncryptItem = "创建不保存密钥的加密文件";
inline constexpr const char* kKeylessDecryptItem = "解密不保存密钥的加密文件";

// ---- The strong format's controls and dialogs ---------------------------------
inline constexpr const char* kFormatLabel = "加密格式：";
inline constexpr const char* kFormatJmz = "兼容 .jmz";
inline constexpr const char* kFormatJmzHint = "加密按钮写兼容的 .jmz 文件：其他实现也能打开，但挡不住有决心的攻击者";
inline constexpr const char* kFormatAge = ".age 强加密";
inline constexpr const char* kFormatAgeHint =
    "加密按钮写 age v1 文件 (scrypt 密码, ChaCha20-Poly1305)：age 和 rage 等工具都能打开。\n"
    "右边的框再输入一次密码确认；菜单里可以生成身份密钥、加密给接收者的公钥";
inline constexpr const char* kKeyStrengthHint = "密码强度 (zxcvbn 估计): 0 最弱 … 4 最强";
inline constexpr const char* kKeyStrength = "强度";
inline constexpr const char* kPassphraseLabel = "请先输入加密的密码：";
inline constexpr const char* kConfirmationLabel = "确认密码，或解密的密钥：";
inline constexpr const char* kRecipientsTitle = "加密给接收者";
inline constexpr const char* kRecipientsExplanation =
    "接收者的公钥，每行一个；# 开头的行是注释：age1…、后量子的 age1pq1…、\n"
    "SSH 公钥 (ssh-ed25519、ssh-rsa，.pub 或 authorized_keys 的行)、插件的 age1名字1…。\n"
    "只有持有对应身份密钥的人才能解密，不需要密码。";
inline constexpr const char* kRecipientsFileButton = "选择接收者文件…";
inline constexpr const char* kAllFilesFilter = "全部文件(*.*)|*.*";
inline constexpr const char* kRecipientsFileTitle = "选择接收者文件";
inline constexpr const char* kGeneratePassphraseItem = "生成强密码 (填入两个框)";
inline constexpr const char* kPassphraseShownTitle = "新的密码";
inline constexpr const char* kCopyButton = "复制";
inline constexpr const char* kPassphraseShown =
    "新的密码已经填入两个框。请把它抄下来或者存到密码管理器里：忘了它就打不开用它加密的文件。";
inline constexpr const char* kIdentityTitle = "生成身份密钥";
inline constexpr const char* kIdentityPostQuantum = "后量子 (ML-KEM-768 + X25519，推荐)";
inline constexpr const char* kIdentityPostQuantumHint =
    "公钥 age1pq1… 约 2000 个字符：今天加密的文件将来也不怕量子计算机。age 1.3 以上和本程序都能用";
inline constexpr const char* kIdentityClassic = "传统 X25519";
inline constexpr const char* kIdentityClassicHint = "公钥 age1… 只有 62 个字符：所有 age 工具都能用";
inline constexpr const char* kIdentityProtect = "用密码保护身份密钥文件";
inline constexpr const char* kIdentityProtectHint = "文件是用这个密码加密的 age 文件 (age -d 可以打开)；每次解密时询问密码";
inline constexpr const char* kIdentityPassphrase = "密码：";
inline constexpr const char* kIdentityPassphraseAgain = "再输入一次：";
inline constexpr const char* kIdentityMismatch = "两次输入的密码不相同";
inline constexpr const char* kAskTitle = "Vesk 文件加密";

// ---- Dialogs -----------------------------------------------------------------------
inline constexpr const char* kYesToAll = "全部是";
inline constexpr const char* kNoToAll = "全部否";
// Qt's own catalogue has no Chinese word for a folder.
inline constexpr const char* kFolderType = "文件夹";
// The widest file type the file dialog's type column is sized for.
inline constexpr const char* kWidestFileType = "DOS/Windows 可执行文件";

// ---- Without a display -------------------------------------------------------------
inline constexpr const char* kNoDisplay =
    "vesk: 没有可用的图形显示 (DISPLAY 和 WAYLAND_DISPLAY 都没有设置), 不能打开窗口。\n"
    "vesk: no graphical display (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
    "\n"
    "没有显示时请使用命令行版本 vesk-cli:\n"
    "  vesk-cli encrypt FILE --key-file KEYFILE      加密为 FILE.jmz (先正常压缩)\n"
    "  vesk-cli decrypt FILE.jmz --key-file KEYFILE  解密\n"
    "  vesk-cli compress FILE                        只压缩为 FILE.zak\n"
    "  vesk-cli decompress FILE.zak                  解压缩\n"
    "  vesk-cli --help                               全部选项\n";

}  // namespace vesk::gui::text
