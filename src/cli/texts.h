// Every text vesk-cli and vesk-sfx show of their own (the engines' texts live
// in their layers' texts files), by name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vesk::cli::text {

// ---- Age (the strong format) ------------------------------------------------


// ---- Desktop registration ---------------------------------------------------


// ---- File commands (encrypt, compress, decrypt, decompress, unpack) ---------


// ---- Key-less containers ----------------------------------------------------


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


}  // namespace vesk::cli::text
