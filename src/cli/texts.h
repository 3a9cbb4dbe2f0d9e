// Every text vesk-cli and vesk-sfx show of their own (the engines' texts live
// in their layers' texts files), by name.
#pragma once

#include <string>

namespace vesk::cli::text {

// ---- Age (the strong format) ------------------------------------------------
inline constexpr const char* kFormatHelp = "加密格式: jmz 兼容格式 (默认), age 强加密 (age v1, 写 SOURCE.age)";
inline constexpr const char* kRecipientHelp = "age: 加密给这个公钥 (age1…，可以多次给出)";
inline constexpr const char* kRecipientsFileHelp = "age: 加密给文件里的公钥 (每行一个，可以多次给出)";
inline constexpr const char* kArmorHelp = "age: 写 ASCII 文本格式 (-----BEGIN AGE ENCRYPTED FILE-----)";
inline constexpr const char* kIdentityHelp = "age: 身份密钥文件 (AGE-SECRET-KEY-1…，可以多次给出)";
inline constexpr const char* kMaxWorkFactorHelp = "age: 接受的最大 scrypt 工作因子 (log2, 默认 22)";
inline constexpr const char* kAgeOnlyOptions = "--recipient、--recipients-file 和 --armor 只能与 --format age 一起使用。";
inline constexpr const char* kJmzOnlyOptions =
    "--level、--algorithm 和 --decrypt-key-* 只用于 .jmz 格式，不能与 --format age 一起使用。";
inline constexpr const char* kPassphraseOrRecipients = "age 文件或者用密码加密，或者加密给接收者公钥，不能两样同时用。";
inline std::string RecipientsFileUnreadable(const std::string& path) { return "无法读取接收者文件: " + path; }
inline constexpr const char* kEncryptPassphrasePrompt = "加密的密码: ";
inline constexpr const char* kNoEncryptPassphrase =
    "没有加密的密码: 请用 --key-file 或 --key-env 给出密码，或者用 --recipient 给出接收者公钥。";
inline constexpr const char* kDecryptKeyPrompt = "解密的密钥: ";
inline constexpr const char* kNoDecryptKey = "没有解密的密钥: 请用 --key-file 或 --key-env 给出密钥 (只解压缩请用 decompress)。";
inline constexpr const char* kKeygenHelp = "生成 age 身份密钥 (age-keygen 的格式)，显示公钥；-y 显示身份密钥文件的公钥";
inline constexpr const char* kKeygenOutputHelp = "写入这个新文件 (权限 0600，不替换已有文件)；省略时写到标准输出";
inline constexpr const char* kKeygenConvertHelp = "显示这个身份密钥文件 (- 为标准输入) 里每个身份密钥的公钥";
inline constexpr const char* kPublicKeyLabel = "公钥: ";
inline std::string IdentityWritten(const std::string& path) { return "身份密钥已写入 " + path + " (只有你能读写)。公钥:"; }
inline std::string IdentityFileUnreadable(const std::string& path) { return "无法读取身份密钥文件: " + path; }
inline std::string NotAnIdentityFile(const std::string& path) {
  return path + ": 不是有效的 age 身份密钥文件 (AGE-SECRET-KEY-1…)。";
}


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
// Among several files: this one did not come through.
inline std::string NotCompleted(const std::string& source) { return source + ": 没有完成。"; }
inline std::string EncryptSourceMissing(const std::string& source) {
  return "要加密的文件:“" + source + "”不存在!加密文件已取消。";
}


// ---- Key-less containers ----------------------------------------------------


// ---- The programs -----------------------------------------------------------
inline constexpr const char* kCliDescription = "Vesk 文件加密 — 命令行版本\n加密、压缩、解密、解压缩文件。";
// The progress line's estimate of the time left.
inline constexpr const char* kTimeLeftFormat = "  剩余 %ld:%02ld";

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
