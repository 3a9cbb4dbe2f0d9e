// The texts the age file engines, the key generator and the commands around
// them show. Every refusal says what happened and what to do about it; none
// echoes a passphrase or a secret key.
#pragma once

#include <string>

namespace vesk::age_files::text {

// The run as a whole.
inline constexpr const char* kEncryptCancelled = "加密文件已取消。";
inline constexpr const char* kDecryptCancelled = "解密文件已取消。";
inline constexpr const char* kEncryptStarting = "age 强加密文件 ...";
inline constexpr const char* kEncryptDeriving = "正在由密码计算密钥 (scrypt) ...";
inline constexpr const char* kEncryptRunning = "进行 age 强加密文件...";
inline constexpr const char* kEncryptDone = "age 强加密文件 ... 已完成。";
inline constexpr const char* kDecryptStarting = "age 解密文件 ...";
inline constexpr const char* kDecryptRunning = "进行 age 解密文件...";
inline constexpr const char* kDecryptDone = "age 解密文件 ... 已完成。";

// Why a decryption was refused or failed. The first words of the first three
// are what a user searches for.
inline constexpr const char* kWrongPassphrase = "密码错误";
inline constexpr const char* kDamaged = "文件已损坏或被截断";
inline constexpr const char* kNoMatchingIdentity = "没有匹配的身份密钥";
inline constexpr const char* kWorkFactorTooHigh = "工作因子过高";

inline std::string WrongPassphrase() { return std::string(kWrongPassphrase) + "：这个密码打不开文件。" + kDecryptCancelled; }
inline std::string Damaged(const std::string& source) {
  return std::string(kDamaged) + "：“" + source + "”不能完整解密，没有写出任何文件。" + kDecryptCancelled;
}
inline std::string NoMatchingIdentity() {
  return std::string(kNoMatchingIdentity) + "：选择的身份密钥都打不开这个文件。" + kDecryptCancelled;
}
inline std::string WorkFactorTooHigh(int log_n, int max_log_n) {
  return std::string(kWorkFactorTooHigh) + "：文件要求 2^" + std::to_string(log_n) + " 的 scrypt 工作因子，超过允许的 2^" +
         std::to_string(max_log_n) + "（需要很多内存和时间，可能是恶意文件）。vesk-cli 可用 --max-work-factor 提高上限。" +
         kDecryptCancelled;
}
inline constexpr const char* kPassphraseRequired =
    "这个 age 文件是用密码加密的：请在右边的框里（vesk-cli: --key-file 或 --key-env）输入解密的密码。解密文件已取消。";
inline constexpr const char* kIdentitiesRequired =
    "这个 age 文件是用公钥加密的：需要身份密钥文件才能解密（菜单“选择解密用的身份密钥文件…”，vesk-cli: --identity）。"
    "解密文件已取消。";
inline constexpr const char* kUnsupportedVersion = "这个 age 文件的版本不受支持，不能解密。解密文件已取消。";
inline constexpr const char* kNotAgeFile = "文件不是 age 加密文件。解密文件已取消。";
inline constexpr const char* kInternalError = "系统出错（内存不足或者没有随机数），已停止。没有写出任何文件。";

// The passphrase and the recipients of an encryption.
inline constexpr const char* kPassphraseEmpty =
    "请先输入加密的密码，或者在菜单里用“加密给接收者(公钥)…”加密。加密文件已取消。";
inline constexpr const char* kPassphraseMismatch =
    "两次输入的密码不相同：用 .age 格式加密时，右边的框里要再输入一次同样的密码。加密文件已取消。";
inline constexpr const char* kPassphraseNotUtf8 = "密码不是有效的 UTF-8 文本，不能用作 age 密码。加密文件已取消。";
inline constexpr const char* kNoRecipients = "没有接收者公钥：请粘贴 age1… 形式的公钥，每行一个，或者选择接收者文件。加密文件已取消。";
inline std::string BadRecipient(const std::string& line_hint) {
  return "接收者公钥无效" + line_hint + "：只支持 age1… 形式的 X25519 公钥。加密文件已取消。";
}

// Identity files (the secret keys of a decryption).
inline std::string IdentityFileUnreadable(const std::string& path) {
  return "身份密钥文件“" + path + "”读不出来。解密文件已取消。";
}
inline std::string IdentityFileInvalid(const std::string& path, const std::string& line_hint) {
  return "身份密钥文件“" + path + "”" + line_hint + "不是有效的 age 身份密钥（AGE-SECRET-KEY-1…）。解密文件已取消。";
}
inline std::string IdentityFileEncrypted(const std::string& path) {
  return "身份密钥文件“" + path + "”本身是加密的，请先把它解密。解密文件已取消。";
}
// "（第 3 行）" for a key file's line, or nothing.
inline std::string LineHint(int line) { return line > 0 ? "（第 " + std::to_string(line) + " 行）" : std::string(); }

// Files.
inline std::string EncryptSourceMissing(const std::string& source) {
  return "要加密的文件:“" + source + "”不存在!" + kEncryptCancelled;
}
inline std::string DecryptSourceMissing(const std::string& source) {
  return "要解密的文件:“" + source + "”不存在!" + kDecryptCancelled;
}
inline std::string ReplaceFailed(const std::string& target, const char* cancelled) {
  return "替换删除文件“" + target + "”失败！文件正在使用中或者有只读属性等。" + cancelled;
}
inline std::string ReplaceQuestion(const std::string& target) { return target + " 文件已经存在,是否替换? 否 则取消。"; }
inline constexpr const char* kReplaceCaption = "替换文件";
inline std::string EncryptFailed(const std::string& source) { return "加密文件“" + source + "”出错!已停止。没有写出任何文件。"; }
inline std::string DecryptFailed(const std::string& source) { return "解密文件“" + source + "”出错!已停止。没有写出任何文件。"; }
inline std::string EncryptDiskFull(const std::string& source) {
  return "加密文件“" + source + "”出错!磁盘空间不足。没有写出任何文件。";
}
inline std::string DecryptDiskFull(const std::string& source) {
  return "解密文件“" + source + "”出错!磁盘空间不足。没有写出任何文件。";
}
inline std::string EncryptOutputHint(const std::string& target) { return "加密后的文件：" + target; }
inline std::string EncryptSourceHint(const std::string& source) { return "进行 age 强加密的文件：" + source; }
inline std::string DecryptOutputHint(const std::string& target) { return "解密后的文件：" + target; }
inline std::string DecryptSourceHint(const std::string& source) { return "进行 age 解密的文件：" + source; }

// The commands of the window around the engines.
inline constexpr const char* kCommandFailed = "加密文件出错!已停止。";
inline constexpr const char* kEncryptOpenTitle = "选择要加密的文件进行 age 强加密";
inline constexpr const char* kEncryptSaveFilter = "age加密文件(*.age)|*.age|全部文件(*.*)|*.*";
inline constexpr const char* kEncryptSaveTitle = "加密后的文件保存为";
inline constexpr const char* kDecryptSaveTitle = "解密后的文件保存为";
inline constexpr const char* kIdentityFilter = "身份密钥文件(*.txt)|*.txt|全部文件(*.*)|*.*";
inline constexpr const char* kIdentitySaveTitle = "新的身份密钥保存为";
inline constexpr const char* kIdentitySaveName = "身份密钥.txt";
inline constexpr const char* kIdentityOpenTitle = "选择解密用的身份密钥文件 (可以多选)";
inline std::string IdentitiesChosen(std::size_t count) {
  return "已选择 " + std::to_string(count) + " 个身份密钥文件：解密用公钥加密的 age 文件时使用。";
}
inline std::string PublicKeyStatus(const std::string& public_key) { return "公钥：" + public_key; }

// The strength meter's hints, by zxcvbn's score 0..4.
inline constexpr const char* kStrengthHints[5] = {
    "很弱：几乎马上就能被猜出", "弱：容易被猜出", "一般：最好再长一些", "较强", "很强",
};
inline constexpr const char* kStrengthEmpty = "还没有输入密码";

// The key generator.
inline std::string IdentityExists(const std::string& path) {
  return "文件“" + path + "”已经存在。为了不丢失已有的身份密钥，不会替换它，请换一个文件名。";
}
inline std::string IdentityNotWritten(const std::string& path) { return "身份密钥文件“" + path + "”写入出错，没有生成身份密钥。"; }
inline std::string IdentityWritten(const std::string& path, const std::string& public_key) {
  return "身份密钥已保存到：" + path + "\r\n公钥（已复制到剪贴板）：" + public_key +
         "\r\n把公钥交给要给你加密文件的人；身份密钥文件要保密并且备份，丢了它就打不开给你加密的文件。";
}

}  // namespace vesk::age_files::text
