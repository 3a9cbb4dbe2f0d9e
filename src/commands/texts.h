// The texts the commands show themselves (the engines keep their own).
//
// The ".zak" commands: compress, decompress, unpack.
#pragma once

#include <string>

#include "platform/language.h"

namespace vesk::commands::zak_text {

inline constexpr Tr kEncrypting = Tr("加密文件 ...");
inline constexpr Tr kEncryptKept = Tr("加密文件已取消。");
inline constexpr Tr kDecryptKept = Tr("解密文件已取消。");
inline constexpr Tr kReplaceCaption = Tr("替换文件");
inline std::string ReplaceQuestion(const std::string& target) { return Fill(Tr("{1} 文件已经存在,是否替换? 否 则不替换, 跳过这个文件。"), target); }
inline std::string ReplaceFailed(const std::string& target, const char* cancelled) {
  return Fill(Tr("替换删除文件“{1}”失败！文件正在使用中或者有只读属性等。{2}"), target, cancelled);
}
inline std::string CompressSourceMissing(const std::string& source) {
  return Fill(Tr("要加密的文件:“{1}”不存在!加密文件已取消。"), source);
}
inline std::string DecompressSourceMissing(const std::string& source) {
  return Fill(Tr("要解密的文件:“{1}”不存在!解密文件已取消。"), source);
}
inline std::string CompressedHint(const std::string& target) { return Fill(Tr("压缩后的文件：{1}"), target); }
inline std::string CompressSourceHint(const std::string& source) { return Fill(Tr("进行加密的文件：{1}"), source); }
inline std::string CompressFolderHint(const std::string& folder) { return Fill(Tr("进行加密的文件夹：{1}"), folder); }
inline std::string DecompressedHint(const std::string& target) { return Fill(Tr("解压缩后的文件：{1}"), target); }
inline std::string DecompressSourceHint(const std::string& source) { return Fill(Tr("进行解压缩的文件：{1}"), source); }

}  // namespace vesk::commands::zak_text

// The keyed ".jmz" commands.
namespace vesk::commands::keyed_text {

inline constexpr Tr kEncryptStarting = Tr("加密文件 ...");
inline constexpr Tr kEncryptionKeyNotGbk = Tr("加密的密钥中有GBK编码不能表示的字符，不能使用。请改用其他字符。");
inline constexpr Tr kDecryptionKeyNotGbk = Tr("解密的密钥中有GBK编码不能表示的字符，不能使用。请改用其他字符。");
inline std::string ExtensionNotGbk(const std::string& ext) {
  return Fill(Tr("文件扩展名“{1}”中有GBK编码不能表示的字符，加密的文件里不保存扩展名，解密后请改正文件扩展名。"), ext);
}
inline std::string EncryptOutputHint(const std::string& target) { return Fill(Tr("加密后的文件：{1}"), target); }
inline std::string EncryptSourceHint(const std::string& source) { return Fill(Tr("进行加密的文件：{1}"), source); }
inline std::string FolderSourceHint(const std::string& folder) { return Fill(Tr("进行加密的文件夹：{1}"), folder); }

}  // namespace vesk::commands::keyed_text

// Every command's planning.
namespace vesk::commands::plan_text {

inline std::string NameTooLong(const std::string& target) {
  return Fill(Tr("文件名太长：“{1}”的最后一部分超过 255 字节，文件系统不能保存。请用短一些的名字。"), target);
}

}  // namespace vesk::commands::plan_text
