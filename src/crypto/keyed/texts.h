// The texts the keyed engines show: the encryption engine, the decryption
// engine and the re-encryption check. A text that two of them show is
// written once.
#pragma once

#include <string>

namespace vesk::keyed::text {

// Shown by the encryption engine.
inline constexpr const char* kEncryptCancelled = "加密文件已取消。";
inline constexpr const char* kEncryptFailed = "加密文件出错!已停止。";
inline constexpr const char* kEncryptEmptyKey = "密钥不能为空！请输入加密的密钥。加密文件已取消。";
inline constexpr const char* kEncryptEmpty = "文件是空的!不需要加密。加密文件已取消。";
inline constexpr const char* kEncryptTooLarge = "不能加密大于4GB的文件!加密文件已取消。";
inline constexpr const char* kEncryptRunning = "进行加密文件...";
inline constexpr const char* kEncryptDone = "加密文件 ... 已完成。";

// The encryption engine's questions for an older algorithm, and their caption.
inline constexpr const char* kOldAlgorithmQuestion = "是否使用旧的加密算法进行加密?";
inline constexpr const char* kOlderAlgorithmQuestion = "是否使用更旧的加密算法进行加密?";
inline constexpr const char* kAlgorithmCaption = "加密算法";

// Shown by the decryption engine about the command as a whole.
inline constexpr const char* kDecryptCancelled = "解密文件已取消。";
inline constexpr const char* kDecryptFailed = "解密文件出错!已停止。";
inline constexpr const char* kDecryptEmptyKey = "不能解密!解密密钥是空的,请输入已加密文件的解密密钥。解密文件已取消。";
inline constexpr const char* kDecryptEmpty = "文件是空的!不需要解密。解密文件已取消。";
inline constexpr const char* kDecryptTooLarge = "不能解密大于4GB的文件!解密文件已取消。";
inline constexpr const char* kDecryptStarting = "解密文件 ...";
inline constexpr const char* kDecryptRunning = "进行解密文件...";
inline constexpr const char* kDecryptDone = "解密文件 ... 已完成。";

// The decryption engine's refusals of a container it cannot or may not decrypt.
inline constexpr const char* kKeyMismatch = "解密的密钥与加密的文件里的密钥不相同,不能解密!";
inline constexpr const char* kKeyLengthDamaged = "加密的文件(被破坏)密钥长度有误,不能解密!";
inline constexpr const char* kOldAlgorithmRefused = "文件是由旧的加密算法加密的,不能解密!解密文件已取消。";
inline constexpr const char* kMarkerMismatch = "加密的文件(被破坏)保存的文件标识不相符。解密文件已取消。";

// The decryption engine's question about a container of a newer version, and its caption.
inline constexpr const char* kNewerVersionQuestion = "文件是由本软件的更高版本的加密算法加密的,是否尝试解密?";
inline constexpr const char* kNewerVersionCaption = "尝试解密";

// The decryption engine's caption for replacing an existing output.
inline constexpr const char* kReplaceCaption = "替换文件";

// The decryption engine's warnings about damaged header fields; decryption goes on.
inline constexpr const char* kStoredSizeBelowOneByte = "加密的文件(被破坏)保存的文件大小数据(错误)小于1字节！";
inline constexpr const char* kStoredSizeAboveFourGiB = "加密的文件(被破坏)保存的文件大小数据(错误)大于4GB！";
inline constexpr const char* kStoredSizeMismatch = "加密的文件(被破坏)保存的文件大小数据(错误)与其文件大小不符。";
inline constexpr const char* kCheckedSizeBelowOneByte = "加密的文件(被破坏)的大小效验(有误)小于1字节！";
inline constexpr const char* kCheckedSizeAboveFourGiB = "加密的文件(被破坏)的大小效验(有误)大于4GB！";
inline constexpr const char* kDamagedExtension = "加密文件里保存的扩展名已被破坏,解密后请改正文件扩展名。";
inline constexpr const char* kCompressionRateDamaged = "压缩率记录错误, 文件可能被破坏!";

// A damaged extension length: warned about by the decryption engine and the re-encryption check.
inline constexpr const char* kExtensionLengthDamaged = "加密的文件(被破坏)保存的扩展名长度有误!";

// Shown by the decryption engine when a file without the marker is handed to decompression.
inline constexpr const char* kTryDecompression = "文件未经此软件加密或者是另外(不保存密钥)加密的，尝试解压缩。";

// The re-encryption check's refusals to encrypt a keyed container once more.
inline constexpr const char* kReencryptMarkerCheckFailed = "效验文件标识出错！取消加密。";
inline constexpr const char* kReencryptEmptyKey = "不能再次加密!解密密钥是空的,请输入已加密文件的解密密钥。";
inline constexpr const char* kReencryptNewerVersion = "文件是由本软件的更高版本的加密算法加密的,此版本不能再次加密!";
inline constexpr const char* kReencryptSizeBelowOneByte =
    "加密的文件(被破坏)保存的文件大小数据(错误)小于1字节，不能再次加密!";
inline constexpr const char* kReencryptSizeAboveFourGiB = "加密的文件(被破坏)保存的文件大小数据(错误)大于4GB，不能再次加密!";
inline constexpr const char* kReencryptLayerLimit = "加密的文件已经加密了12次,不能再次加密!";
inline constexpr const char* kReencryptKeyLengthDamaged = "加密的文件(被破坏)密钥长度有误,不能再次加密!或者压缩。";
inline constexpr const char* kReencryptKeyMismatch = "解密的密钥与加密的文件里的密钥不相同,不能再次加密!或者压缩。";

// A source file that does not exist.
inline std::string EncryptSourceMissing(const std::string& source) {
  return "要加密的文件:“" + source + "”不存在!" + kEncryptCancelled;
}
inline std::string DecryptSourceMissing(const std::string& source) {
  return "要解密的文件:“" + source + "”不存在!" + kDecryptCancelled;
}

// A target the engine may not or could not replace.
inline std::string ReplaceFailed(const std::string& target, const char* cancelled) {
  return "替换删除文件“" + target + "”失败！文件正在使用中或者有只读属性等。" + cancelled;
}
inline std::string EncryptReplaceFailed(const std::string& target) { return ReplaceFailed(target, kEncryptCancelled); }
inline std::string DecryptReplaceFailed(const std::string& target) { return ReplaceFailed(target, kDecryptCancelled); }

// The decryption engine's question before it replaces an existing output.
inline std::string ReplaceQuestion(const std::string& output) { return output + " 文件已经存在,是否替换? 否 则不替换, 跳过这个文件。"; }

// A source the decryption engine could not decrypt or decompress.
inline std::string DecryptSourceFailed(const std::string& source) { return source + " 文件解密出错！已停止。"; }
inline std::string DecompressSourceFailed(const std::string& source) { return source + " 文件解压缩出错！已停止。"; }

// The decryption engine's hints naming the output and the source of a run.
inline std::string DecryptOutputHint(const std::string& output) { return "解密后的文件：" + output; }
inline std::string DecryptSourceHint(const std::string& source) { return "进行解密的文件：" + source; }
inline std::string SelfDecryptSourceHint(const std::string& payload_name) { return "进行自解密的文件：" + payload_name; }
inline std::string DecompressOutputHint(const std::string& output) { return "解压缩后的文件：" + output; }
inline std::string DecompressSourceHint(const std::string& source) { return "进行解压缩的文件：" + source; }

}  // namespace vesk::keyed::text
