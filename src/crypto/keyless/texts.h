// The texts the key-less engines show: the encryption and the decryption,
// and the algorithm questions the folder engine asks for them.
#pragma once

#include <string>

#include "platform/language.h"

namespace vesk::keyless::text {

// The running command, its output and its source.
inline constexpr Tr kEncrypting = Tr("进行不保存密钥加密文件...");
inline constexpr Tr kDecrypting = Tr("进行解密(不保存密钥)文件...");
inline std::string EncryptOutputHint(const std::string& target) { return Fill(Tr("加密后的文件：{1}"), target); }
inline std::string EncryptSourceHint(const std::string& source) { return Fill(Tr("进行不保存密钥加密的文件：{1}"), source); }
inline std::string DecryptOutputHint(const std::string& target) { return Fill(Tr("解密后的文件：{1}"), target); }
inline std::string DecryptSourceHint(const std::string& source) { return Fill(Tr("进行解密(不保存密钥)的文件：{1}"), source); }

// A target that is there: the question, its caption, and the status of a
// run called off by a No.
inline constexpr Tr kReplaceCaption = Tr("替换文件");
inline std::string ReplaceQuestion(const std::string& target) { return Fill(Tr("{1} 文件已经存在,是否替换? 否 则取消。"), target); }
inline constexpr Tr kEncryptKept = Tr("加密文件已取消。");
inline constexpr Tr kDecryptKept = Tr("解密文件已取消。");

// The end of a run.
inline constexpr Tr kEncryptDone = Tr("加密(不保存密钥的)文件 ... 已完成。");
inline constexpr Tr kEncryptCancelled = Tr("加密(不保存密钥的)文件 ... 已取消。");
inline constexpr Tr kDecryptDone = Tr("解密(不保存密钥的)文件 ... 已完成。");
inline constexpr Tr kDecryptCancelled = Tr("解密(不保存密钥的)文件 ... 已取消。");

// Sources the engines refuse.
inline constexpr Tr kEncryptEmpty = Tr("文件是空的!不需要加密。加密文件已取消。");
inline constexpr Tr kEncryptTooLarge = Tr("不能加密大于4GB的文件!加密文件已取消。");
inline constexpr Tr kDecryptEmpty = Tr("文件是空的!不需要解密。解密文件已取消。");
inline constexpr Tr kDecryptTooLarge = Tr("不能解密大于4GB的文件!解密文件已取消。");
inline constexpr Tr kNotKeyless = Tr("文件不是本软件(不保存密钥)加密的，解密已取消。");
inline constexpr Tr kPayloadTooSmall = Tr("文件(加密内容)计算大小数据(出错)小于1字节！不能解密。");

// The questions for an older algorithm, and their caption.
inline constexpr Tr kOldQuestion = Tr("是否使用旧的加密算法进行加密?");
inline constexpr Tr kOlderQuestion = Tr("是否使用更旧的加密算法进行加密?");
inline constexpr Tr kAlgorithmCaption = Tr("加密算法");

// The question about a container of a newer version, and its caption.
inline constexpr Tr kNewerQuestion = Tr("文件是由本软件的更高版本的加密算法加密的,是否尝试解密?");
inline constexpr Tr kNewerCaption = Tr("尝试解密");

// A source file that does not exist.
inline std::string EncryptSourceMissing(const std::string& source) {
  return Fill(Tr("要加密的文件:“{1}”不存在!加密文件已取消。"), source);
}
inline std::string DecryptSourceMissing(const std::string& source) {
  return Fill(Tr("要解密的文件:“{1}”不存在!解密文件已取消。"), source);
}

// A target the engine may not or could not replace.
inline std::string EncryptReplaceFailed(const std::string& target) {
  return Fill(Tr("替换删除文件“{1}”失败！文件正在使用中或者有只读属性等。加密文件已取消。"), target);
}
inline std::string DecryptReplaceFailed(const std::string& target) {
  return Fill(Tr("替换删除文件“{1}”失败！文件正在使用中或者有只读属性等。解密文件已取消。"), target);
}

// A run that failed.
inline std::string EncryptFailed(const std::string& source) { return Fill(Tr("加密文件“{1}”出错!已停止。"), source); }
inline std::string DecryptFailed(const std::string& source) { return Fill(Tr("解密文件“{1}”出错!已停止。"), source); }

}  // namespace vesk::keyless::text
