// Every text vesk-cli and vesk-sfx show of their own (the engines' texts live
// in their layers' texts files), by name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vesk::cli::text {

// ---- Age (the strong format) ------------------------------------------------
inline constexpr const char* kFormatHelp = "加密格式: jmz 兼容格式 (默认), age 强加密 (age v1, 写 SOURCE.age)";
inline constexpr const char* kRecipientHelp = "age: 加密给这个公钥 (age1…，可以多次给出)";
inline constexpr const char* kRecipientsFileHelp = "age: 加密给文件里的公钥 (每行一个，可以多次给出)";
inline constexpr const char* kArmorHelp = "age: 写 ASCII 文本格式 (-----BEGIN AGE ENCRYPTED FILE-----)";
inline constexpr const char* kStdinOnce = "标准输入 (-) 只能读一次：只能有一个密钥文件是 -。";
inline constexpr const char* kEncryptIdentityHelp = "age: 加密给这个身份密钥文件里每个身份密钥的公钥 (可以多次给出)";
inline constexpr const char* kIdentityHelp = "age: 身份密钥文件 (AGE-SECRET-KEY-1…，可以多次给出)";
inline constexpr const char* kPluginHelp = "age: 用这个插件 (age-plugin-NAME) 的默认身份密钥 (可以多次给出)";
inline constexpr const char* kMaxWorkFactorHelp = "age: 接受的最大 scrypt 工作因子 (log2, 默认 22)";
inline constexpr const char* kAgeOnlyOptions = "--recipient、--recipients-file 和 --armor 只能与 --format age 一起使用。";
inline constexpr const char* kJmzOnlyOptions =
    "--level、--algorithm 和 --decrypt-key-* 只用于 .jmz 格式，不能与 --format age 一起使用。";
inline constexpr const char* kPassphraseOrRecipients = "age 文件或者用密码加密，或者加密给接收者公钥，不能两样同时用。";
inline std::string RecipientsFileUnreadable(const std::string& path) { return "无法读取接收者文件: " + path; }
inline constexpr const char* kEncryptPassphrasePrompt = "加密的密码: ";
inline constexpr const char* kEncryptPassphraseOrGenerate = "(留空则自动生成一个强密码) 加密的密码: ";
inline std::string GeneratedPassphrase(const std::string& passphrase) {
  return "使用自动生成的密码: " + passphrase + "  (请记下它: 没有它文件打不开)";
}
inline constexpr const char* kNoEncryptPassphrase =
    "没有加密的密码: 请用 --key-file 或 --key-env 给出密码，或者用 --recipient 给出接收者公钥。";
inline constexpr const char* kDecryptKeyPrompt = "解密的密钥: ";
inline constexpr const char* kNoDecryptKey = "没有解密的密钥: 请用 --key-file 或 --key-env 给出密钥 (只解压缩请用 decompress)。";
inline constexpr const char* kKeygenHelp = "生成 age 身份密钥 (age-keygen 的格式)，显示公钥；-y 显示身份密钥文件的公钥";
inline constexpr const char* kKeygenOutputHelp = "写入这个新文件 (权限 0600，不替换已有文件)；省略时写到标准输出";
inline constexpr const char* kKeygenConvertHelp = "显示这个身份密钥文件 (- 为标准输入) 里每个身份密钥的公钥";
// inspect
inline constexpr const char* kInspectHelp = "显示 age 文件的信息 (不需要密钥)：接收者类型、格式、大小、是否抗量子";
inline constexpr const char* kInspectFileHelp = "age 文件 (- 为标准输入)";
inline constexpr const char* kInspectJsonHelp = "以 JSON 显示 (键名固定，英文)";

inline constexpr const char* kKeygenPqHelp = "生成后量子身份密钥 (AGE-SECRET-KEY-PQ-1…，公钥 age1pq1…，age-keygen -pq 的格式)";
inline constexpr const char* kKeygenPassphraseHelp = "用密码保护身份密钥文件 (age 密码加密的 ASCII 格式，同 age-keygen | age -p -a)";
inline constexpr const char* kKeygenPassphrasePrompt = "输入保护身份密钥文件的密码: ";
inline constexpr const char* kKeygenPassphraseAgain = "再次输入密码: ";
inline constexpr const char* kKeygenNoPassphrase = "没有输入保护身份密钥文件的密码 (需要在终端上输入)，没有生成身份密钥。";
inline constexpr const char* kKeygenPassphraseMismatch = "两次输入的密码不相同，没有生成身份密钥。";
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
inline std::string DoneAfterDamage(const std::string& written) {
  return written + ": 已完成，但源文件已被破坏，结果可能不完整或有错误 (退出状态 3)。"
                   "没有压缩的 .jmz 和 .run 内容没有校验，其中的破坏无法发现；需要完整性检查请使用 .age 格式。";
}
inline constexpr const char* kCompressHelp = "只压缩文件为 .zak (不加密)";
inline constexpr const char* kDecompressHelp = "解压缩 .zak 文件";
inline constexpr const char* kUnpackHelp = "把 .tar 文件解开为旁边的文件夹 (X.tar → X/，已有的文件夹不会被合并)";
inline constexpr const char* kEncryptHelp = "用密钥加密文件为 .jmz (可先压缩)，或者 --format age 强加密为 .age";
inline constexpr const char* kDecryptHelp = "解密 .jmz 文件或 age 文件 (没有加密标识的文件按 .zak 解压缩)";
inline constexpr const char* kEncryptLevelHelp = "先压缩的压缩率: 0 不压缩, 1 快速, 2 正常 (默认), 3 最大";
inline constexpr const char* kAlgorithmHelp = "加密算法版本: 33 (默认), 18 旧, 11 更旧";
inline constexpr const char* kEncryptKeyHelp = "加密的密钥 (age: 密码)";
inline constexpr const char* kEncryptDecryptKeyHelp = "解密的密钥 (再次加密已加密的文件时用)";
inline constexpr const char* kDecryptKeyHelp = "解密的密钥 (age: 密码)";
inline constexpr const char* kLegacyHelp = "接受最旧的加密算法";
inline constexpr const char* kDecryptUnpackHelp = "解密得到的 .tar 文件解开为文件夹 (已有的文件夹不会被合并)";
inline constexpr const char* kFileSourceHelp = "要处理的文件 (可以是多个)";
inline constexpr const char* kFileOutputHelp = "输出文件 (省略时按默认规则命名)，或者已有的文件夹";
inline constexpr const char* kCompressLevelHelp = "压缩率: 1 快速, 2 正常 (默认), 3 最大";
inline constexpr const char* kCompressDecryptKeyHelp = "解密的密钥 (压缩已加密的文件时用)";
inline constexpr const char* kKeyFileHelpTail = "：从文件读取 (UTF-8)";
inline constexpr const char* kKeyEnvHelpTail = "：从环境变量读取";
// Reading a key or passphrase from --key-file, --key-env or the terminal.
inline std::string KeyFileUnreadable(const std::string& path) { return "无法读取密钥文件: " + path; }
inline std::string KeyEnvUnset(const std::string& name) { return "环境变量 " + name + " 未设置"; }
inline constexpr const char* kKeyAgainPrompt = "再次输入密钥: ";
inline constexpr const char* kKeyMismatch = "两次输入的密钥不相同。";
inline constexpr const char* kPassphraseAgainPrompt = "再次输入密码: ";
inline constexpr const char* kPassphraseMismatch = "两次输入的密码不相同。";
inline constexpr const char* kYesHelp = "所有问题回答“是” (例如替换已有文件)";
inline constexpr const char* kNoHelp = "所有问题回答“否”";
inline constexpr const char* kOutputNotFolder = "多个文件时 -o 只能是已有的文件夹: ";
// Standard input and output ("-"), FIFOs and devices.
inline constexpr const char* kStandardInputAlone = "标准输入 (-) 只能作为唯一的源文件。";
inline constexpr const char* kStandardOutputOneSource = "-o - (标准输出) 只能用于一个源文件。";
inline constexpr const char* kCannotStream =
    "这种格式不能作为数据流处理 (标准输入或输出、FIFO、设备): 只有 age 加密和解密、.zak 压缩和解压缩可以。请使用普通文件。";
inline constexpr const char* kBinaryToTerminal =
    "不把二进制数据输出到终端。要文本格式请加 --armor；确实要输出到终端请用 -o -。";
inline std::string EncryptSourceMissing(const std::string& source) {
  return "要加密的文件:“" + source + "”不存在!加密文件已取消。";
}


// ---- Key-less containers ----------------------------------------------------
inline constexpr const char* kKeylessEncryptHelp = "加密为不保存密钥的 .jmz 文件 (a.txt → a.txt.jmz)";
inline constexpr const char* kKeylessDecryptHelp = "解密不保存密钥的 .jmz 文件 (a.txt.jmz → a.txt)";
inline constexpr const char* kKeylessSourceHelp = "要处理的文件 (可以是多个)";
inline constexpr const char* kKeylessOutputHelp = "输出文件 (省略时按默认规则命名)，或者已有的文件夹";
inline constexpr const char* kKeylessAlgorithmHelp = "加密算法版本: 30 (默认), 20 旧, 0 更旧";
inline constexpr const char* kKeylessEncryptKeyHelp = "加密的密钥";
inline constexpr const char* kKeylessDecryptKeyHelp = "解密的密钥";
inline constexpr const char* kKeylessKeyFileHelp = "：从文件读取 (UTF-8)";
inline constexpr const char* kKeylessKeyEnvHelp = "：从环境变量读取";
inline constexpr const char* kKeylessUnpackHelp = "解密得到的 .tar 文件解开为文件夹 (已有的文件夹不会被合并)";
inline constexpr const char* kKeylessYesHelp = "所有问题回答“是” (例如替换已有文件)";
inline constexpr const char* kKeylessNoHelp = "所有问题回答“否”";
inline constexpr const char* kKeylessEncryptPrompt = "加密的密钥: ";
inline constexpr const char* kKeylessDecryptPrompt = "解密的密钥: ";
inline constexpr const char* kKeylessNoEncryptKey = "没有加密的密钥: 请用 --key-file 或 --key-env 给出密钥。";
inline constexpr const char* kKeylessNoDecryptKey = "没有解密的密钥: 请用 --key-file 或 --key-env 给出密钥。";
inline constexpr const char* kKeylessKeyTooLong = "密钥太长: 最多 ";
inline constexpr const char* kKeylessKeyTooLongTail = " 个字符 (一个换行算两个)。";
inline constexpr const char* kKeylessEncryptKeyNotGbk =
    "加密的密钥中有GBK编码不能表示的字符，不能使用。请改用其他字符。加密文件已取消。";
inline constexpr const char* kKeylessDecryptKeyNotGbk =
    "解密的密钥中有GBK编码不能表示的字符，不能使用。请改用其他字符。解密文件已取消。";
inline constexpr const char* kKeylessOutputNotFolder = "多个文件时 -o 只能是已有的文件夹: ";
inline constexpr const char* kKeylessNotCompleted = ": 没有完成。";


// ---- The programs -----------------------------------------------------------
inline constexpr const char* kCliDescription = "Vesk 文件加密 — 命令行版本\n加密、压缩、解密、解压缩文件。";
inline constexpr const char* kSfxDescription = "Vesk 文件加密 — 自解密文件的程序部分\n解密或者分离本文件附带的加密文件。";
// The progress line's estimate of the time left.
inline constexpr const char* kTimeLeftFormat = "  剩余 %ld:%02ld";

// ---- Questions answered by an option ----------------------------------------
inline constexpr const char* kAnsweredYes = " -> 是";
inline constexpr const char* kAnsweredNo = " -> 否";


// ---- Self-decrypting files --------------------------------------------------
inline constexpr const char* kSelfDecryptCancelled = "自解密文件已取消。";
inline constexpr const char* kSfxAnswerYes = "所有问题回答“是” (例如替换已有文件)";
inline constexpr const char* kSfxAnswerNo = "所有问题回答“否”";
inline constexpr const char* kSfxFileAny = "自解密文件 (省略时是正在运行的程序本身)";
inline constexpr const char* kSfxInfoAny = "显示自解密文件附带的文件 (不运行它)";
inline constexpr const char* kSfxInfoOwn = "显示本文件附带的文件";
inline constexpr const char* kSelfDecryptAny = "解密自解密文件附带的文件 (不运行它)";
inline constexpr const char* kSelfDecryptOwn = "解密本文件附带的文件";
inline constexpr const char* kSelfDecryptOutput = "输出文件, 不含扩展名 (保存的扩展名会加上)，或者已有的文件夹";
inline constexpr const char* kSelfDecryptKeyFile = "解密的密钥：从文件读取 (UTF-8)";
inline constexpr const char* kSelfDecryptKeyEnv = "解密的密钥：从环境变量读取";
inline constexpr const char* kSelfDecryptLegacy = "接受最旧的加密算法";
inline constexpr const char* kSeparateAny = "把自解密文件拆成程序部分和 .jmz 文件 (不运行它)";
inline constexpr const char* kSeparateOwn = "把本文件拆成程序部分和 .jmz 文件";
inline constexpr const char* kSeparateOutput = "附带的加密文件保存为 (扩展名总是 .jmz) 或者已有的文件夹; 程序部分写在同一文件夹";
inline constexpr const char* kSelfDecryptKeyPrompt = "解密的密钥: ";
inline constexpr const char* kSelfDecryptNoKey = "没有解密的密钥: 请用 --key-file 或 --key-env 给出密钥。";
inline constexpr const char* kEncryptKeyPrompt = "加密的密钥: ";
inline constexpr const char* kNoEncryptKey = "没有加密的密钥: 请用 --key-file 或 --key-env 给出密钥 (只压缩请用 compress)。";
inline std::string KeyTooLong(std::size_t most) {
  return "密钥太长: 最多 " + std::to_string(most) + " 个字符 (一个换行算两个)。";
}
inline std::string OwnFileNeeded(const std::string& self) {
  return "请给出自解密文件 FILE (" + self + " 本身不是自解密文件)。";
}
inline std::string ProgramPartOnly(const std::string& self) {
  return self + " 本身不是自解密文件：它是自解密文件的程序部分，不附带加密文件。";
}
inline std::string NoProgramImage(const std::string& shown) {
  return shown + " 不是自解密文件 (不是可以运行的程序文件)。";
}
inline std::string ImageAndOffset(int64_t image_size, int64_t offset) {
  return "程序部分：" + std::to_string(image_size) + "字节；附带的文件从第 " + std::to_string(offset) + " 字节开始。";
}
inline constexpr const char* kPayloadKeyed = "附带的是保存密钥的加密文件。";
inline constexpr const char* kPayloadNotKeyed = "附带的文件没有保存密钥的加密文件的标识，不能自解密。";
inline std::string OwnPayloadUsage(const std::string& invoked_as, const std::string& program_part) {
  return "这是一个自解密文件。用法:\n"
         "  " + invoked_as + " self-decrypt [-o 输出文件] [--key-file 密钥文件 | --key-env 变量名]\n"
         "      解密附带的文件 (保存的扩展名会加上)\n"
         "  " + invoked_as + " separate [-o 文件.jmz]\n"
         "      拆成程序部分 " + program_part + " 和附带的 .jmz 文件\n"
         "  " + invoked_as + " --help\n"
         "      全部命令\n";
}
inline constexpr const char* kMakeSfxHelp = "把保存密钥的 .jmz 文件做成自解密文件 (a.jmz → a.run)";
inline constexpr const char* kMakeSfxContainer = "保存密钥的加密文件";
inline constexpr const char* kMakeSfxOutput = "输出文件或者已有的文件夹 (扩展名总是 .run)";
inline constexpr const char* kMakeSfxWindow = "用同一文件夹里的窗口程序 vesk 代替 vesk-sfx 作为程序部分";
inline std::string WindowProgramMissing(const std::string& path) {
  return "找不到窗口程序 " + path + "：--window 要用与 vesk-cli 安装在同一文件夹里的 vesk。";
}
inline std::string ProgramPartUnreadable(const std::string& why) { return "不能读取程序部分: " + why; }


// ---- Shredder ---------------------------------------------------------------
inline constexpr const char* kShredHelp = "粉碎文件: 用零覆盖文件的全部内容一次，写到磁盘后删除 (慎用)";
inline constexpr const char* kShredFileHelp = "要粉碎的文件";
inline constexpr const char* kShredYesHelp = "每个文件的确认问题都回答“是”";
inline constexpr const char* kShredNoHelp = "每个文件的确认问题都回答“否”";


}  // namespace vesk::cli::text
