// The texts the commands show themselves (the engines keep their own).
//
// The ".zak" commands: compress, decompress, unpack.
#pragma once

#include <string>

namespace vesk::commands::zak_text {

inline constexpr const char* kEncrypting = "加密文件 ...";
inline constexpr const char* kEncryptKept = "加密文件已取消。";
inline constexpr const char* kDecryptKept = "解密文件已取消。";
inline constexpr const char* kReplaceCaption = "替换文件";
inline std::string ReplaceQuestion(const std::string& target) { return target + " 文件已经存在,是否替换? 否 则不替换, 跳过这个文件。"; }
inline std::string ReplaceFailed(const std::string& target, const char* cancelled) {
  return "替换删除文件“" + target + "”失败！文件正在使用中或者有只读属性等。" + cancelled;
}
inline std::string CompressSourceMissing(const std::string& source) {
  return "要加密的文件:“" + source + "”不存在!加密文件已取消。";
}
inline std::string DecompressSourceMissing(const std::string& source) {
  return "要解密的文件:“" + source + "”不存在!解密文件已取消。";
}
inline std::string CompressedHint(const std::string& target) { return "压缩后的文件：" + target; }
inline std::string CompressSourceHint(const std::string& source) { return "进行加密的文件：" + source; }
inline std::string CompressFolderHint(const std::string& folder) { return "进行加密的文件夹：" + folder; }
inline std::string DecompressedHint(const std::string& target) { return "解压缩后的文件：" + target; }
inline std::string DecompressSourceHint(const std::string& source) { return "进行解压缩的文件：" + source; }

}  // namespace vesk::commands::zak_text

// The keyed ".jmz" commands.
namespace vesk::commands::keyed_text {

inline constexpr const char* kEncryptStarting = "加密文件 ...";
inline constexpr const char* kEncryptionKeyNotGbk = "加密的密钥中有GBK编码不能表示的字符，不能使用。请改用其他字符。";
inline constexpr const char* kDecryptionKeyNotGbk = "解密的密钥中有GBK编码不能表示的字符，不能使用。请改用其他字符。";
inline std::string ExtensionNotGbk(const std::string& ext) {
  return "文件扩展名“" + ext + "”中有GBK编码不能表示的字符，加密的文件里不保存扩展名，解密后请改正文件扩展名。";
}
inline std::string EncryptOutputHint(const std::string& target) { return "加密后的文件：" + target; }
inline std::string EncryptSourceHint(const std::string& source) { return "进行加密的文件：" + source; }
inline std::string FolderSourceHint(const std::string& folder) { return "进行加密的文件夹：" + folder; }

}  // namespace vesk::commands::keyed_text

// Every command's planning.
namespace vesk::commands::plan_text {

inline std::string NameTooLong(const std::string& target) {
  return "文件名太长：“" + target + "”的最后一部分超过 255 字节，文件系统不能保存。请用短一些的名字。";
}

}  // namespace vesk::commands::plan_text
