// The texts the keyed engines show: the encryption engine, the decryption
// engine and the re-encryption check. A text that two of them show is
// written once.
#pragma once

#include <string>

#include "platform/language.h"

namespace vesk::keyed::text {

// Shown by the encryption engine.
inline constexpr Tr kEncryptCancelled = Tr("加密文件已取消。");
inline constexpr Tr kEncryptFailed = Tr("加密文件出错!已停止。");
inline constexpr Tr kEncryptEmptyKey = Tr("密钥不能为空！请输入加密的密钥。加密文件已取消。");
inline constexpr Tr kEncryptEmpty = Tr("文件是空的!不需要加密。加密文件已取消。");
inline constexpr Tr kEncryptTooLarge = Tr("不能加密大于4GB的文件!加密文件已取消。");
inline constexpr Tr kEncryptRunning = Tr("进行加密文件...");
inline constexpr Tr kEncryptDone = Tr("加密文件 ... 已完成。");

// The encryption engine's questions for an older algorithm, and their caption.
inline constexpr Tr kOldAlgorithmQuestion = Tr("是否使用旧的加密算法进行加密?");
inline constexpr Tr kOlderAlgorithmQuestion = Tr("是否使用更旧的加密算法进行加密?");
inline constexpr Tr kAlgorithmCaption = Tr("加密算法");

// Shown by the decryption engine about the command as a whole.
inline constexpr Tr kDecryptCancelled = Tr("解密文件已取消。");
inline constexpr Tr kDecryptFailed = Tr("解密文件出错!已停止。");
inline constexpr Tr kDecryptEmptyKey = Tr("不能解密!解密密钥是空的,请输入已加密文件的解密密钥。解密文件已取消。");
inline constexpr Tr kDecryptEmpty = Tr("文件是空的!不需要解密。解密文件已取消。");
inline constexpr Tr kDecryptTooLarge = Tr("不能解密大于4GB的文件!解密文件已取消。");
inline constexpr Tr kDecryptStarting = Tr("解密文件 ...");
inline constexpr Tr kDecryptRunning = Tr("进行解密文件...");
inline constexpr Tr kDecryptDone = Tr("解密文件 ... 已完成。");

// The decryption engine's refusals of a container it cannot or may not decrypt.
inline constexpr Tr kKeyMismatch = Tr("解密的密钥与加密的文件里的密钥不相同,不能解密!");
inline constexpr Tr kKeyLengthDamaged = Tr("加密的文件(被破坏)密钥长度有误,不能解密!");
inline constexpr Tr kOldAlgorithmRefused = Tr("文件是由旧的加密算法加密的,不能解密!解密文件已取消。");
inline constexpr Tr kMarkerMismatch = Tr("加密的文件(被破坏)保存的文件标识不相符。解密文件已取消。");

// The decryption engine's question about a container of a newer version, and its caption.
inline constexpr Tr kNewerVersionQuestion = Tr("文件是由本软件的更高版本的加密算法加密的,是否尝试解密?");
inline constexpr Tr kNewerVersionCaption = Tr("尝试解密");

// The decryption engine's caption for replacing an existing output.
inline constexpr Tr kReplaceCaption = Tr("替换文件");

// The decryption engine's warnings about damaged header fields; decryption goes on.
inline constexpr Tr kStoredSizeBelowOneByte = Tr("加密的文件(被破坏)保存的文件大小数据(错误)小于1字节！");
inline constexpr Tr kStoredSizeAboveFourGiB = Tr("加密的文件(被破坏)保存的文件大小数据(错误)大于4GB！");
inline constexpr Tr kStoredSizeMismatch = Tr("加密的文件(被破坏)保存的文件大小数据(错误)与其文件大小不符。");
inline constexpr Tr kCheckedSizeBelowOneByte = Tr("加密的文件(被破坏)的大小效验(有误)小于1字节！");
inline constexpr Tr kCheckedSizeAboveFourGiB = Tr("加密的文件(被破坏)的大小效验(有误)大于4GB！");
inline constexpr Tr kDamagedExtension = Tr("加密文件里保存的扩展名已被破坏,解密后请改正文件扩展名。");
inline constexpr Tr kCompressionRateDamaged = Tr("压缩率记录错误, 文件可能被破坏!");

// A damaged extension length: warned about by the decryption engine and the re-encryption check.
inline constexpr Tr kExtensionLengthDamaged = Tr("加密的文件(被破坏)保存的扩展名长度有误!");

// Shown by the decryption engine when a file without the marker is handed to decompression.
inline constexpr Tr kTryDecompression = Tr("文件未经此软件加密或者是另外(不保存密钥)加密的，尝试解压缩。");

// The re-encryption check's refusals to encrypt a keyed container once more.
inline constexpr Tr kReencryptMarkerCheckFailed = Tr("效验文件标识出错！取消加密。");
inline constexpr Tr kReencryptEmptyKey = Tr("不能再次加密!解密密钥是空的,请输入已加密文件的解密密钥。");
inline constexpr Tr kReencryptNewerVersion = Tr("文件是由本软件的更高版本的加密算法加密的,此版本不能再次加密!");
inline constexpr Tr kReencryptSizeBelowOneByte =
    Tr("加密的文件(被破坏)保存的文件大小数据(错误)小于1字节，不能再次加密!");
inline constexpr Tr kReencryptSizeAboveFourGiB = Tr("加密的文件(被破坏)保存的文件大小数据(错误)大于4GB，不能再次加密!");
inline constexpr Tr kReencryptLayerLimit = Tr("加密的文件已经加密了12次,不能再次加密!");
inline constexpr Tr kReencryptKeyLengthDamaged = Tr("加密的文件(被破坏)密钥长度有误,不能再次加密!或者压缩。");
inline constexpr Tr kReencryptKeyMismatch = Tr("解密的密钥与加密的文件里的密钥不相同,不能再次加密!或者压缩。");

// A source file that does not exist.
inline std::string EncryptSourceMissing(const std::string& source) {
  return Fill(Tr("要加密的文件:“{1}”不存在!{2}"), source, kEncryptCancelled);
}
inline std::string DecryptSourceMissing(const std::string& source) {
  return Fill(Tr("要解密的文件:“{1}”不存在!{2}"), source, kDecryptCancelled);
}

// A target the engine may not or could not replace.
inline std::string ReplaceFailed(const std::string& target, const char* cancelled) {
  return Fill(Tr("替换删除文件“{1}”失败！文件正在使用中或者有只读属性等。{2}"), target, cancelled);
}
inline std::string EncryptReplaceFailed(const std::string& target) { return ReplaceFailed(target, kEncryptCancelled); }
inline std::string DecryptReplaceFailed(const std::string& target) { return ReplaceFailed(target, kDecryptCancelled); }

// The decryption engine's question before it replaces an existing output.
inline std::string ReplaceQuestion(const std::string& output) { return Fill(Tr("{1} 文件已经存在,是否替换? 否 则不替换, 跳过这个文件。"), output); }

// A source the decryption engine could not decrypt or decompress.
inline std::string DecryptSourceFailed(const std::string& source) { return Fill(Tr("{1} 文件解密出错！已停止。"), source); }
inline std::string DecompressSourceFailed(const std::string& source) { return Fill(Tr("{1} 文件解压缩出错！已停止。"), source); }

// The decryption engine's hints naming the output and the source of a run.
inline std::string DecryptOutputHint(const std::string& output) { return Fill(Tr("解密后的文件：{1}"), output); }
inline std::string DecryptSourceHint(const std::string& source) { return Fill(Tr("进行解密的文件：{1}"), source); }
inline std::string SelfDecryptSourceHint(const std::string& payload_name) { return Fill(Tr("进行自解密的文件：{1}"), payload_name); }
inline std::string DecompressOutputHint(const std::string& output) { return Fill(Tr("解压缩后的文件：{1}"), output); }
inline std::string DecompressSourceHint(const std::string& source) { return Fill(Tr("进行解压缩的文件：{1}"), source); }

}  // namespace vesk::keyed::text
