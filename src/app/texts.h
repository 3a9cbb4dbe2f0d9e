// Every text the window logic shows of its own (the engines' texts live in
// their layers' texts files), by name, one section per command family.
#pragma once

#include <string>

namespace vesk::text {

// ---- Age (the strong format) ------------------------------------------------


// ---- Batches and folders ----------------------------------------------------


// ---- Compression and keyed containers ---------------------------------------
// (What the window shows alike with the keyed engines - cancelled, failed,
// the replace question - it takes from keyed/texts.h.)

inline constexpr const char* kNothingToDo = "请选择文件压缩率进行压缩或者输入密钥进行加密。";
inline constexpr const char* kEncryptionKeyNotGbk = "加密的密钥中有GBK编码不能表示的字符，不能使用。请改用其他字符。";
inline constexpr const char* kDecryptionKeyNotGbk = "解密的密钥中有GBK编码不能表示的字符，不能使用。请改用其他字符。";
inline std::string ExtensionNotGbk(const std::string& ext) {
  return "文件扩展名“" + ext + "”中有GBK编码不能表示的字符，加密的文件里不保存扩展名，解密后请改正文件扩展名。";
}

// The cancel questions of the busy encrypt and decrypt buttons.
inline std::string CancelEncryptQuestion(const std::string& file) { return "真的要取消加密：“" + file + "”吗?"; }
inline constexpr const char* kCancelEncryptCaption = "取消加密";
inline std::string CancelDecryptQuestion(const std::string& file) { return "真的要取消解密：“" + file + "”吗?"; }
inline constexpr const char* kCancelDecryptCaption = "取消解密";

// The file dialogs of the encrypt and decrypt buttons.
inline constexpr const char* kAllFilesFilter = "全部文件(*.*)|*.*";
inline constexpr const char* kEncryptOpenTitle = "选择要加密的文件进行加密";
inline constexpr const char* kContainerSaveFilter = "jmz加密文件(*.jmz)|*.jmz|全部文件(*.*)|*.*";
inline constexpr const char* kEncryptSaveTitle = "加密后的文件保存为";
inline constexpr const char* kCompressedSaveFilter = "zak文件(*.zak)|*.zak|全部文件(*.*)|*.*";
inline constexpr const char* kCompressSaveTitle = "压缩后的文件保存为";
inline constexpr const char* kDecryptOpenFilter = "jmz文件(*.jmz)|*.jmz|zak文件(*.zak)|*.zak|全部文件(*.*)|*.*";
inline constexpr const char* kDecryptOpenTitle = "选择要解密的文件进行解密";
inline constexpr const char* kDecryptSaveTitle = "解密后的文件保存为";

// The status line and hints while an encryption or a compression runs.
inline constexpr const char* kEncryptStarting = "加密文件 ...";
inline constexpr const char* kCompressRunning = "进行压缩文件...";
inline constexpr const char* kDecompressRunning = "进行解压缩文件...";
inline std::string EncryptOutputHint(const std::string& target) { return "加密后的文件：" + target; }
inline std::string EncryptSourceHint(const std::string& source) { return "进行加密的文件：" + source; }
inline std::string CompressOutputHint(const std::string& zak) { return "压缩后的文件：" + zak; }

// The end of a compression run: its stage's status with this appended when
// it completed; the stage with kCannotComplete and why, when it failed.
inline constexpr const char* kStageDone = " 已完成。";
inline constexpr const char* kCannotComplete = "不能完成！已经取消。";
inline std::string CompressionSourceUnreadable(const std::string& source) { return "无法读取文件“" + source + "”。"; }
inline std::string CompressionTargetAppeared(const std::string& target) { return "文件“" + target + "”已经存在。"; }


// ---- Desktop registration ---------------------------------------------------


// ---- Key-less containers ----------------------------------------------------


// ---- Self-decrypting files --------------------------------------------------


// ---- Shredder ---------------------------------------------------------------


// ---- Start-up and small commands --------------------------------------------


}  // namespace vesk::text
