// The texts the age file engines, the key generator and the commands around
// them show. Every refusal says what happened and what to do about it; none
// echoes a passphrase or a secret key.
#pragma once

#include <cstdint>
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
// A run into a stream (standard output, a FIFO) that stopped after part of
// its output, every byte of it authenticated, had gone out.
inline std::string StreamIncomplete(std::int64_t bytes) {
  return "注意: 已经输出了 " + std::to_string(bytes) + " 字节 (都已通过验证)，但输出不完整。";
}
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
inline constexpr const char* kHeaderTooLarge = "这个 age 文件的文件头超过 4 MiB，本程序不读这么大的文件头（文件不一定损坏）。解密文件已取消。";
inline constexpr const char* kNotAgeFile = "文件不是 age 加密文件。解密文件已取消。";
inline constexpr const char* kInternalError = "系统出错（内存不足或者没有随机数），已停止。没有写出任何文件。";

// The passphrase and the recipients of an encryption.
inline constexpr const char* kPassphraseEmpty =
    "请先输入加密的密码，或者在菜单里用“加密给接收者(公钥)…”加密。加密文件已取消。";
inline constexpr const char* kPassphraseMismatch =
    "两次输入的密码不相同：用 .age 格式加密时，右边的框里要再输入一次同样的密码。加密文件已取消。";
inline constexpr const char* kPassphraseNotUtf8 = "密码不是有效的 UTF-8 文本，不能用作 age 密码。加密文件已取消。";
inline constexpr const char* kPassphraseLineBreak =
    "密码里有换行符：.age 强加密的密码只能是一行（别的程序输入不了换行符），请删掉换行符后再加密。加密文件已取消。";
inline std::string WeakPassphraseQuestion(const std::string& hint) {
  return "这个密码的强度是“" + hint + "”：用它加密的文件可能被猜出密码打开。仍然用这个密码加密吗?";
}
inline constexpr const char* kWeakPassphraseCaption = "密码太弱";
inline constexpr const char* kNoRecipients = "没有接收者公钥：请粘贴 age1… 形式的公钥，每行一个，或者选择接收者文件。加密文件已取消。";
inline std::string BadRecipient(const std::string& line_hint) {
  return "接收者公钥无效" + line_hint + "：只支持 age1…、age1pq1… 形式的 age 公钥和 ssh-ed25519、ssh-rsa 形式的 SSH 公钥。加密文件已取消。";
}

// Plugins (age-plugin-NAME programs that keep the keys).
inline std::string PluginMissing(const std::string& program) {
  return "找不到 age 插件程序 " + program + " (在 PATH 中)。";
}
inline std::string BadPluginName(const std::string& name) { return "“" + name + "”不是 age 插件的名字。"; }
inline std::string PluginError(const std::string& name, const std::string& text) {
  return "age 插件 " + name + " 报告错误: " + text;
}
inline std::string PluginConfirm(const std::string& text, const std::string& yes, const std::string& no) {
  return text + (no.empty() ? " (是: " + yes + ")" : " (是: " + yes + " / 否: " + no + ")");
}
inline std::string PluginFailed(const std::string& detail) { return "age 插件出错: " + detail + "。没有写出任何文件。"; }
// Post-quantum and classic recipients in one file.
inline constexpr const char* kMixedRecipients =
    "后量子公钥 (age1pq1…) 不能和传统公钥 (age1…、SSH 公钥) 一起用来加密同一个文件：传统公钥会让文件失去抗量子计算机的保护。"
    "请只用后量子公钥，或者只用传统公钥。加密文件已取消。";
inline std::string RecipientRefused(const std::string& recipient, const std::string& why) {
  return "接收者公钥" + recipient + "不能用：" + why + "加密文件已取消。";
}
inline constexpr const char* kRsaTooSmall = "RSA 公钥短于 2048 位，不安全。";
inline constexpr const char* kSshTypeUnsupported = "只支持 ssh-ed25519 和 ssh-rsa 类型的 SSH 公钥。";

// Identity files (the secret keys of a decryption).
// Each ends with `cancelled`: the decryption's, or the encryption's for an
// identity file given to an encryption.
inline constexpr const char* kIdentitiesNotChosen = "这次选择的身份密钥文件都没有采用。";
inline std::string IdentityFileUnreadable(const std::string& path, const char* cancelled = kDecryptCancelled) {
  return "身份密钥文件“" + path + "”读不出来。" + cancelled;
}
inline std::string IdentityFileInvalid(const std::string& path, const std::string& line_hint,
                                       const char* cancelled = kDecryptCancelled) {
  return "身份密钥文件“" + path + "”" + line_hint + "不是有效的 age 身份密钥（AGE-SECRET-KEY-1…）。" + cancelled;
}
inline std::string SshKeyMalformed(const std::string& path, const char* cancelled = kDecryptCancelled) {
  return "身份密钥文件“" + path + "”不是可以读的 SSH 私钥。" + cancelled;
}
inline std::string SshKeyUnsupported(const std::string& path, const char* cancelled = kDecryptCancelled) {
  return "身份密钥文件“" + path + "”是 age 不支持的 SSH 私钥类型：只支持 ssh-ed25519 和 ssh-rsa。" + cancelled;
}
inline std::string SshKeyTooSmall(const std::string& path, const char* cancelled = kDecryptCancelled) {
  return "身份密钥文件“" + path + "”是短于 2048 位的 RSA 私钥，不安全，不能使用。" + cancelled;
}
inline std::string SshKeyNeedsPublicKey(const std::string& path, const char* cancelled = kDecryptCancelled) {
  return "身份密钥文件“" + path + "”是有密码保护的 PEM 私钥，看不出它的公钥：请把公钥放在“" + path +
         ".pub”里。" + cancelled;
}
inline std::string SshKeyPassphrasePrompt(const std::string& path) { return "输入 SSH 私钥“" + path + "”的密码: "; }
inline std::string ProtectedIdentityPrompt(const std::string& path) {
  return "输入身份密钥文件“" + path + "”的密码: ";
}
inline std::string KeyNotOpened(const std::string& path, const char* cancelled = kDecryptCancelled) {
  return std::string(kWrongPassphrase) + "：没有输入密码或者密码不对，打不开身份密钥文件“" + path + "”。" + cancelled;
}
inline std::string SshKeyCannotExport(const std::string& path, const char* cancelled = kDecryptCancelled) {
  return "SSH 私钥“" + path + "”的密码正确，但是 libssh 0.10 交不出有密码保护的 OpenSSH 格式的 RSA 私钥：请先用 ssh-keygen -p -m PEM -f " +
         path + " 把它转成 PEM 格式（密码不变），再用它解密。" + cancelled;
}
inline constexpr const char* kSshLibraryMissing =
    "打开有密码保护的 OpenSSH 私钥需要 libssh (Debian 软件包 libssh-4)，但是没有安装。解密文件已取消。";
inline std::string ProtectedIdentityInvalid(const std::string& path, const char* cancelled = kDecryptCancelled) {
  return "身份密钥文件“" + path + "”解密后不是有效的 age 身份密钥。" + cancelled;
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
inline constexpr const char* kIdentityOpenFilter =
    "身份密钥文件(*.txt;*.age;id_*;*.key)|*.txt;*.age;id_*;*.key|全部文件(*.*)|*.*";
inline constexpr const char* kIdentityOpenTitle = "选择解密用的身份密钥文件 (可以多选)";
inline std::string IdentitiesChosen(std::size_t count) {
  return "已选择 " + std::to_string(count) + " 个身份密钥文件：解密用公钥加密的 age 文件时使用。";
}
// A public key as a message shows it: a post-quantum one (some 2,000
// characters) by its two ends and its length.
inline std::string ShownPublicKey(const std::string& key) {
  if (key.size() <= 100) return key;
  return key.substr(0, 24) + "…" + key.substr(key.size() - 12) + " (" + std::to_string(key.size()) + " 个字符)";
}
inline std::string PublicKeyStatus(const std::string& public_key) { return "公钥：" + public_key; }

// What an inspection shows of an age file, line by line.
inline std::string InspectRefused(const std::string& path) { return "“" + path + "”不是可以读的 age 加密文件。"; }
inline std::string InspectTooLarge(const std::string& path) { return "“" + path + "”的文件头超过 4 MiB，本程序不读这么大的文件头（文件不一定损坏）。"; }
inline constexpr const char* kInspectFormat = "格式: ";
inline constexpr const char* kInspectArmored = "ASCII 文本 (armored)";
inline constexpr const char* kInspectBinary = "二进制";
inline constexpr const char* kInspectRecipients = "接收者:";
inline constexpr const char* kInspectScrypt = "密码 (scrypt)";
inline constexpr const char* kInspectHybrid = "后量子公钥 (mlkem768x25519)";
inline constexpr const char* kInspectSsh = " (SSH 公钥)";
inline constexpr const char* kInspectOther = " (插件或者未知类型)";
inline constexpr const char* kInspectWorkFactor = "scrypt 工作因子: 2^";
inline constexpr const char* kInspectPostQuantum = "抗量子计算机: ";
inline constexpr const char* kInspectYes = "是";
inline constexpr const char* kInspectNo = "否";
inline constexpr const char* kInspectHeaderSize = "文件头: ";
inline constexpr const char* kInspectPayloadSize = "加密内容: ";
inline constexpr const char* kInspectPlaintextSize = "估计的原文大小: ";
inline constexpr const char* kInspectBytes = " 字节";

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
inline constexpr const char* kIdentityProtectedFilter = "有密码保护的身份密钥文件(*.age)|*.age|全部文件(*.*)|*.*";
inline constexpr const char* kIdentityProtectedSaveName = "身份密钥.age";
inline constexpr const char* kIdentityProtectedNote = "\r\n身份密钥文件有密码保护：解密时会询问它的密码。";
inline std::string IdentityWritten(const std::string& path, const std::string& public_key) {
  return "身份密钥已保存到：" + path + "\r\n公钥（已复制到剪贴板）：" + public_key +
         "\r\n把公钥交给要给你加密文件的人；身份密钥文件要保密并且备份，丢了它就打不开给你加密的文件。";
}

}  // namespace vesk::age_files::text
