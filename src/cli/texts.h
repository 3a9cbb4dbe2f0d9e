// Every text vesk-cli and vesk-sfx show of their own (the engines' texts live
// in their layers' texts files), by name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/language.h"

namespace vesk::cli::text {

// ---- Age (the strong format) ------------------------------------------------
inline constexpr Tr kFormatHelp = Tr("加密格式: jmz 兼容格式 (默认), age 强加密 (age v1, 写 SOURCE.age)");
inline constexpr Tr kRecipientHelp = Tr("age: 加密给这个公钥 (age1…，可以多次给出)");
inline constexpr Tr kRecipientsFileHelp = Tr("age: 加密给文件里的公钥 (每行一个，可以多次给出)");
inline constexpr Tr kArmorHelp = Tr("age: 写 ASCII 文本格式 (-----BEGIN AGE ENCRYPTED FILE-----)");
inline constexpr Tr kStdinOnce = Tr("标准输入 (-) 只能读一次：只能有一个密钥文件是 -。");
inline constexpr Tr kEncryptIdentityHelp = Tr("age: 加密给这个身份密钥文件里每个身份密钥的公钥 (可以多次给出)");
inline constexpr Tr kIdentityHelp = Tr("age: 身份密钥文件 (AGE-SECRET-KEY-1…，可以多次给出)");
inline constexpr Tr kPluginHelp = Tr("age: 用这个插件 (age-plugin-NAME) 的默认身份密钥 (可以多次给出)");
inline constexpr Tr kMaxWorkFactorHelp = Tr("age: 接受的最大 scrypt 工作因子 (log2, 默认 22)");
inline constexpr Tr kAgeOnlyOptions = Tr("--recipient、--recipients-file 和 --armor 只能与 --format age 一起使用。");
inline constexpr Tr kJmzOnlyOptions =
    Tr("--level、--algorithm 和 --decrypt-key-* 只用于 .jmz 格式，不能与 --format age 一起使用。");
inline constexpr Tr kPassphraseOrRecipients = Tr("age 文件或者用密码加密，或者加密给接收者公钥，不能两样同时用。");
inline std::string RecipientsFileUnreadable(const std::string& path) { return Fill(Tr("无法读取接收者文件: {1}"), path); }
inline constexpr Tr kEncryptPassphrasePrompt = Tr("加密的密码: ");
inline constexpr Tr kEncryptPassphraseOrGenerate = Tr("(留空则自动生成一个强密码) 加密的密码: ");
inline std::string GeneratedPassphrase(const std::string& passphrase) {
  return Fill(Tr("使用自动生成的密码: {1}  (请记下它: 没有它文件打不开)"), passphrase);
}
inline constexpr Tr kNoEncryptPassphrase =
    Tr("没有加密的密码: 请用 --key-file 或 --key-env 给出密码，或者用 --recipient 给出接收者公钥。");
inline constexpr Tr kDecryptKeyPrompt = Tr("解密的密钥: ");
inline constexpr Tr kNoDecryptKey = Tr("没有解密的密钥: 请用 --key-file 或 --key-env 给出密钥 (只解压缩请用 decompress)。");
inline constexpr Tr kKeygenHelp = Tr("生成 age 身份密钥 (age-keygen 的格式)，显示公钥；-y 显示身份密钥文件的公钥");
inline constexpr Tr kKeygenOutputHelp = Tr("写入这个新文件 (权限 0600，不替换已有文件)；省略时写到标准输出");
inline constexpr Tr kKeygenConvertHelp = Tr("显示这个身份密钥文件 (- 为标准输入) 里每个身份密钥的公钥");
// inspect
inline constexpr Tr kInspectHelp = Tr("显示 age 文件的信息 (不需要密钥)：接收者类型、格式、大小、是否抗量子");
inline constexpr Tr kInspectFileHelp = Tr("age 文件 (- 为标准输入)");
inline constexpr Tr kInspectJsonHelp = Tr("以 JSON 显示 (键名固定，英文)");

inline constexpr Tr kKeygenPqHelp = Tr("生成后量子身份密钥 (AGE-SECRET-KEY-PQ-1…，公钥 age1pq1…，age-keygen -pq 的格式)");
inline constexpr Tr kKeygenPassphraseHelp = Tr("用密码保护身份密钥文件 (age 密码加密的 ASCII 格式，同 age-keygen | age -p -a)");
inline constexpr Tr kKeygenPassphrasePrompt = Tr("输入保护身份密钥文件的密码: ");
inline constexpr Tr kKeygenPassphraseAgain = Tr("再次输入密码: ");
inline constexpr Tr kKeygenNoPassphrase = Tr("没有输入保护身份密钥文件的密码 (需要在终端上输入)，没有生成身份密钥。");
inline constexpr Tr kKeygenPassphraseMismatch = Tr("两次输入的密码不相同，没有生成身份密钥。");
inline constexpr Tr kPublicKeyLabel = Tr("公钥: ");
inline std::string IdentityWritten(const std::string& path) { return Fill(Tr("身份密钥已写入 {1} (只有你能读写)。公钥:"), path); }
inline std::string IdentityFileUnreadable(const std::string& path) { return Fill(Tr("无法读取身份密钥文件: {1}"), path); }
inline std::string NotAnIdentityFile(const std::string& path) {
  return Fill(Tr("{1}: 不是有效的 age 身份密钥文件 (AGE-SECRET-KEY-1…)。"), path);
}


// ---- Desktop registration ---------------------------------------------------
inline constexpr Tr kProgramHelp = Tr("要注册的窗口程序 (默认: vesk-cli 旁边的 vesk, 否则 PATH 中的 vesk)");
inline constexpr Tr kAssociateHelp = Tr("注册关联 .jmz 加密文件: 用窗口程序打开, 显示本程序的图标");
inline constexpr Tr kContextMenuHelp =
    Tr("在文件管理器 (GNOME 文件, Thunar, Dolphin, Nemo, Caja) 的右键菜单中增加 “用 Vesk 加密” 和 “用 Vesk 解密”");
inline constexpr Tr kUnregisterHelp = Tr("清除本程序的全部注册项 (文件关联, 右键菜单) 和设置");
inline constexpr Tr kNoWindowProgram =
    Tr("出错: 找不到窗口程序 vesk (vesk-cli 旁边和 PATH 中都没有)。请用 --program 指定。");
inline std::string NotAProgram(const std::string& given) { return Fill(Tr("出错: {1} 不是可执行的程序。"), given); }
inline std::string WindowProgram(const std::string& program) { return Fill(Tr("窗口程序: {1}"), program); }
inline std::string RegistrationError(const std::string& what) { return Fill(Tr("出错: {1}"), what); }


// ---- File commands (encrypt, compress, decrypt, decompress, unpack) ---------
// Among several files: this one did not come through.
inline std::string NotCompleted(const std::string& source) { return Fill(Tr("{1}: 没有完成。"), source); }
inline std::string DoneAfterDamage(const std::string& written) {
  return Fill(Tr("{1}: 已完成，但源文件已被破坏，结果可能不完整或有错误 (退出状态 3)。"
                   "没有压缩的 .jmz 和 .run 内容没有校验，其中的破坏无法发现；需要完整性检查请使用 .age 格式。"), written);
}
inline constexpr Tr kCompressHelp = Tr("只压缩文件为 .zak (不加密)");
inline constexpr Tr kDecompressHelp = Tr("解压缩 .zak 文件");
inline constexpr Tr kUnpackHelp = Tr("把 .tar 文件解开为旁边的文件夹 (X.tar → X/，已有的文件夹不会被合并)");
inline constexpr Tr kEncryptHelp = Tr("用密钥加密文件为 .jmz (可先压缩)，或者 --format age 强加密为 .age");
inline constexpr Tr kDecryptHelp = Tr("解密 .jmz 文件或 age 文件 (没有加密标识的文件按 .zak 解压缩)");
inline constexpr Tr kEncryptLevelHelp = Tr("先压缩的压缩率: 0 不压缩, 1 快速, 2 正常 (默认), 3 最大");
inline constexpr Tr kAlgorithmHelp = Tr("加密算法版本: 33 (默认), 18 旧, 11 更旧");
inline constexpr Tr kEncryptKeyHelp = Tr("加密的密钥 (age: 密码)");
inline constexpr Tr kEncryptDecryptKeyHelp = Tr("解密的密钥 (再次加密已加密的文件时用)");
inline constexpr Tr kDecryptKeyHelp = Tr("解密的密钥 (age: 密码)");
inline constexpr Tr kLegacyHelp = Tr("接受最旧的加密算法");
inline constexpr Tr kDecryptUnpackHelp = Tr("解密得到的 .tar 文件解开为文件夹 (已有的文件夹不会被合并)");
inline constexpr Tr kFileSourceHelp = Tr("要处理的文件 (可以是多个)");
inline constexpr Tr kFileOutputHelp = Tr("输出文件 (省略时按默认规则命名)，或者已有的文件夹");
inline constexpr Tr kCompressLevelHelp = Tr("压缩率: 1 快速, 2 正常 (默认), 3 最大");
inline constexpr Tr kCompressDecryptKeyHelp = Tr("解密的密钥 (压缩已加密的文件时用)");
inline constexpr Tr kKeyFileHelpTail = Tr("：从文件读取 (UTF-8)");
inline constexpr Tr kKeyEnvHelpTail = Tr("：从环境变量读取");
// Reading a key or passphrase from --key-file, --key-env or the terminal.
inline std::string KeyFileUnreadable(const std::string& path) { return Fill(Tr("无法读取密钥文件: {1}"), path); }
inline std::string KeyEnvUnset(const std::string& name) { return Fill(Tr("环境变量 {1} 未设置"), name); }
inline constexpr Tr kKeyAgainPrompt = Tr("再次输入密钥: ");
inline constexpr Tr kKeyMismatch = Tr("两次输入的密钥不相同。");
inline constexpr Tr kPassphraseAgainPrompt = Tr("再次输入密码: ");
inline constexpr Tr kPassphraseMismatch = Tr("两次输入的密码不相同。");
inline constexpr Tr kYesHelp = Tr("所有问题回答“是” (例如替换已有文件)");
inline constexpr Tr kNoHelp = Tr("所有问题回答“否”");
inline constexpr Tr kOutputNotFolder = Tr("多个文件时 -o 只能是已有的文件夹: ");
// Standard input and output ("-"), FIFOs and devices.
inline constexpr Tr kStandardInputAlone = Tr("标准输入 (-) 只能作为唯一的源文件。");
inline constexpr Tr kStandardOutputOneSource = Tr("-o - (标准输出) 只能用于一个源文件。");
inline constexpr Tr kCannotStream =
    Tr("这种格式不能作为数据流处理 (标准输入或输出、FIFO、设备): 只有 age 加密和解密、.zak 压缩和解压缩可以。请使用普通文件。");
inline constexpr Tr kBinaryToTerminal =
    Tr("不把二进制数据输出到终端。要文本格式请加 --armor；确实要输出到终端请用 -o -。");
inline std::string EncryptSourceMissing(const std::string& source) {
  return Fill(Tr("要加密的文件:“{1}”不存在!加密文件已取消。"), source);
}


// ---- Key-less containers ----------------------------------------------------
inline constexpr Tr kKeylessEncryptHelp = Tr("加密为不保存密钥的 .jmz 文件 (a.txt → a.txt.jmz)");
inline constexpr Tr kKeylessDecryptHelp = Tr("解密不保存密钥的 .jmz 文件 (a.txt.jmz → a.txt)");
inline constexpr Tr kKeylessSourceHelp = Tr("要处理的文件 (可以是多个)");
inline constexpr Tr kKeylessOutputHelp = Tr("输出文件 (省略时按默认规则命名)，或者已有的文件夹");
inline constexpr Tr kKeylessAlgorithmHelp = Tr("加密算法版本: 30 (默认), 20 旧, 0 更旧");
inline constexpr Tr kKeylessEncryptKeyHelp = Tr("加密的密钥");
inline constexpr Tr kKeylessDecryptKeyHelp = Tr("解密的密钥");
inline constexpr Tr kKeylessKeyFileHelp = Tr("：从文件读取 (UTF-8)");
inline constexpr Tr kKeylessKeyEnvHelp = Tr("：从环境变量读取");
inline constexpr Tr kKeylessUnpackHelp = Tr("解密得到的 .tar 文件解开为文件夹 (已有的文件夹不会被合并)");
inline constexpr Tr kKeylessYesHelp = Tr("所有问题回答“是” (例如替换已有文件)");
inline constexpr Tr kKeylessNoHelp = Tr("所有问题回答“否”");
inline constexpr Tr kKeylessEncryptPrompt = Tr("加密的密钥: ");
inline constexpr Tr kKeylessDecryptPrompt = Tr("解密的密钥: ");
inline constexpr Tr kKeylessNoEncryptKey = Tr("没有加密的密钥: 请用 --key-file 或 --key-env 给出密钥。");
inline constexpr Tr kKeylessNoDecryptKey = Tr("没有解密的密钥: 请用 --key-file 或 --key-env 给出密钥。");
inline constexpr Tr kKeylessKeyTooLong = Tr("密钥太长: 最多 ");
inline constexpr Tr kKeylessKeyTooLongTail = Tr(" 个字符 (一个换行算两个)。");
inline constexpr Tr kKeylessEncryptKeyNotGbk =
    Tr("加密的密钥中有GBK编码不能表示的字符，不能使用。请改用其他字符。加密文件已取消。");
inline constexpr Tr kKeylessDecryptKeyNotGbk =
    Tr("解密的密钥中有GBK编码不能表示的字符，不能使用。请改用其他字符。解密文件已取消。");
inline constexpr Tr kKeylessOutputNotFolder = Tr("多个文件时 -o 只能是已有的文件夹: ");
inline constexpr Tr kKeylessNotCompleted = Tr(": 没有完成。");


// ---- The programs -----------------------------------------------------------
inline constexpr Tr kCliDescription = Tr("Vesk 文件加密 — 命令行版本\n加密、压缩、解密、解压缩文件。");
inline constexpr Tr kSfxDescription = Tr("Vesk 文件加密 — 自解密文件的程序部分\n解密或者分离本文件附带的加密文件。");
inline constexpr Tr kLangHelp = Tr("显示的语言: zh 中文, en 英文 (默认按 LANGUAGE、LC_ALL、LC_MESSAGES、LANG)");
// The progress line's estimate of the time left.
inline constexpr Tr kTimeLeftFormat = Tr("  剩余 %ld:%02ld");

// ---- Questions answered by an option ----------------------------------------
inline constexpr Tr kAnsweredYes = Tr(" -> 是");
inline constexpr Tr kAnsweredNo = Tr(" -> 否");


// ---- Self-decrypting files --------------------------------------------------
inline constexpr Tr kSelfDecryptCancelled = Tr("自解密文件已取消。");
inline constexpr Tr kSfxAnswerYes = Tr("所有问题回答“是” (例如替换已有文件)");
inline constexpr Tr kSfxAnswerNo = Tr("所有问题回答“否”");
inline constexpr Tr kSfxFileAny = Tr("自解密文件 (省略时是正在运行的程序本身)");
inline constexpr Tr kSfxInfoAny = Tr("显示自解密文件附带的文件 (不运行它)");
inline constexpr Tr kSfxInfoOwn = Tr("显示本文件附带的文件");
inline constexpr Tr kSelfDecryptAny = Tr("解密自解密文件附带的文件 (不运行它)");
inline constexpr Tr kSelfDecryptOwn = Tr("解密本文件附带的文件");
inline constexpr Tr kSelfDecryptOutput = Tr("输出文件, 不含扩展名 (保存的扩展名会加上)，或者已有的文件夹");
inline constexpr Tr kSelfDecryptKeyFile = Tr("解密的密钥：从文件读取 (UTF-8)");
inline constexpr Tr kSelfDecryptKeyEnv = Tr("解密的密钥：从环境变量读取");
inline constexpr Tr kSelfDecryptLegacy = Tr("接受最旧的加密算法");
inline constexpr Tr kSeparateAny = Tr("把自解密文件拆成程序部分和 .jmz 文件 (不运行它)");
inline constexpr Tr kSeparateOwn = Tr("把本文件拆成程序部分和 .jmz 文件");
inline constexpr Tr kSeparateOutput = Tr("附带的加密文件保存为 (扩展名总是 .jmz) 或者已有的文件夹; 程序部分写在同一文件夹");
inline constexpr Tr kSelfDecryptKeyPrompt = Tr("解密的密钥: ");
inline constexpr Tr kSelfDecryptNoKey = Tr("没有解密的密钥: 请用 --key-file 或 --key-env 给出密钥。");
inline constexpr Tr kEncryptKeyPrompt = Tr("加密的密钥: ");
inline constexpr Tr kNoEncryptKey = Tr("没有加密的密钥: 请用 --key-file 或 --key-env 给出密钥 (只压缩请用 compress)。");
inline std::string KeyTooLong(std::size_t most) {
  return Fill(Tr("密钥太长: 最多 {1} 个字符 (一个换行算两个)。"), std::to_string(most));
}
inline std::string OwnFileNeeded(const std::string& self) {
  return Fill(Tr("请给出自解密文件 FILE ({1} 本身不是自解密文件)。"), self);
}
inline std::string ProgramPartOnly(const std::string& self) {
  return Fill(Tr("{1} 本身不是自解密文件：它是自解密文件的程序部分，不附带加密文件。"), self);
}
inline std::string NoProgramImage(const std::string& shown) {
  return Fill(Tr("{1} 不是自解密文件 (不是可以运行的程序文件)。"), shown);
}
inline std::string ImageAndOffset(int64_t image_size, int64_t offset) {
  return Fill(Tr("程序部分：{1}字节；附带的文件从第 {2} 字节开始。"), std::to_string(image_size), std::to_string(offset));
}
inline constexpr Tr kPayloadKeyed = Tr("附带的是保存密钥的加密文件。");
inline constexpr Tr kPayloadNotKeyed = Tr("附带的文件没有保存密钥的加密文件的标识，不能自解密。");
inline std::string OwnPayloadUsage(const std::string& invoked_as, const std::string& program_part) {
  return Fill(Tr("这是一个自解密文件。用法:\n"
                   "  {1} self-decrypt [-o 输出文件] [--key-file 密钥文件 | --key-env 变量名]\n"
                   "      解密附带的文件 (保存的扩展名会加上)\n"
                   "  {2} separate [-o 文件.jmz]\n"
                   "      拆成程序部分 {3} 和附带的 .jmz 文件\n"
                   "  {4} --help\n"
                   "      全部命令\n"), invoked_as, invoked_as, program_part, invoked_as);
}
inline constexpr Tr kMakeSfxHelp = Tr("把保存密钥的 .jmz 文件做成自解密文件 (a.jmz → a.run)");
inline constexpr Tr kMakeSfxContainer = Tr("保存密钥的加密文件");
inline constexpr Tr kMakeSfxOutput = Tr("输出文件或者已有的文件夹 (扩展名总是 .run)");
inline constexpr Tr kMakeSfxWindow = Tr("用同一文件夹里的窗口程序 vesk 代替 vesk-sfx 作为程序部分");
inline std::string WindowProgramMissing(const std::string& path) {
  return Fill(Tr("找不到窗口程序 {1}：--window 要用与 vesk-cli 安装在同一文件夹里的 vesk。"), path);
}
inline std::string ProgramPartUnreadable(const std::string& why) { return Fill(Tr("不能读取程序部分: {1}"), why); }


// ---- Shredder ---------------------------------------------------------------
inline constexpr Tr kShredHelp = Tr("粉碎文件: 用零覆盖文件的全部内容一次，写到磁盘后删除 (慎用)");
inline constexpr Tr kShredFileHelp = Tr("要粉碎的文件");
inline constexpr Tr kShredYesHelp = Tr("每个文件的确认问题都回答“是”");
inline constexpr Tr kShredNoHelp = Tr("每个文件的确认问题都回答“否”");


}  // namespace vesk::cli::text
