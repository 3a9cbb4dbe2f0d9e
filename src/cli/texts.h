// Every text vesk-cli and vesk-sfx show of their own (the engines' texts live
// in their layers' texts files), by name.
#pragma once

namespace vesk::cli::text {

// ---- Age (the strong format) ------------------------------------------------


// ---- Desktop registration ---------------------------------------------------


// ---- File commands (encrypt, compress, decrypt, decompress, unpack) ---------


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


// ---- Questions answered by an option ----------------------------------------
inline constexpr const char* kAnsweredYes = " -> 是";
inline constexpr const char* kAnsweredNo = " -> 否";


// ---- Self-decrypting files --------------------------------------------------


// ---- Shredder ---------------------------------------------------------------


}  // namespace vesk::cli::text
