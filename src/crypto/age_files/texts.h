// The texts the age file engines, the key generator and the commands around
// them show. Every refusal says what happened and what to do about it; none
// echoes a passphrase or a secret key.
#pragma once

#include <cstdint>
#include <string>

#include "platform/language.h"

namespace vesk::age_files::text {

// The run as a whole.
inline constexpr Tr kEncryptCancelled = Tr("加密文件已取消。");
inline constexpr Tr kDecryptCancelled = Tr("解密文件已取消。");
inline constexpr Tr kEncryptStarting = Tr("age 强加密文件 ...");
inline constexpr Tr kEncryptDeriving = Tr("正在由密码计算密钥 (scrypt) ...");
inline constexpr Tr kEncryptRunning = Tr("进行 age 强加密文件...");
inline constexpr Tr kEncryptDone = Tr("age 强加密文件 ... 已完成。");
inline constexpr Tr kDecryptStarting = Tr("age 解密文件 ...");
inline constexpr Tr kDecryptRunning = Tr("进行 age 解密文件...");
inline constexpr Tr kDecryptDone = Tr("age 解密文件 ... 已完成。");

// Why a decryption was refused or failed. The first words of the first three
// are what a user searches for.
inline constexpr Tr kWrongPassphrase = Tr("密码错误");
inline constexpr Tr kDamaged = Tr("文件已损坏或被截断");
inline constexpr Tr kNoMatchingIdentity = Tr("没有匹配的身份密钥");
inline constexpr Tr kWorkFactorTooHigh = Tr("工作因子过高");

inline std::string WrongPassphrase() { return Fill(Tr("{1}：这个密码打不开文件。{2}"), std::string(kWrongPassphrase), kDecryptCancelled); }
// A run into a stream (standard output, a FIFO) that stopped after part of
// its output, every byte of it authenticated, had gone out.
inline std::string StreamIncomplete(std::int64_t bytes) {
  return Fill(Tr("注意: 已经输出了 {1} 字节 (都已通过验证)，但输出不完整。"), std::to_string(bytes));
}
inline std::string Damaged(const std::string& source) {
  return Fill(Tr("{1}：“{2}”不能完整解密，没有写出任何文件。{3}"), std::string(kDamaged), source, kDecryptCancelled);
}
inline std::string NoMatchingIdentity() {
  return Fill(Tr("{1}：选择的身份密钥都打不开这个文件。{2}"), std::string(kNoMatchingIdentity), kDecryptCancelled);
}
inline std::string WorkFactorTooHigh(int log_n, int max_log_n) {
  return Fill(Tr("{1}：文件要求 2^{2} 的 scrypt 工作因子，超过允许的 2^"
                   "{3}（需要很多内存和时间，可能是恶意文件）。vesk-cli 可用 --max-work-factor 提高上限。"
                   "{4}"), std::string(kWorkFactorTooHigh), std::to_string(log_n), std::to_string(max_log_n), kDecryptCancelled);
}
inline constexpr Tr kPassphraseRequired =
    Tr("这个 age 文件是用密码加密的：请在右边的框里（vesk-cli: --key-file 或 --key-env）输入解密的密码。解密文件已取消。");
inline constexpr Tr kIdentitiesRequired =
    Tr("这个 age 文件是用公钥加密的：需要身份密钥文件才能解密（菜单“选择解密用的身份密钥文件…”，vesk-cli: --identity）。"
    "解密文件已取消。");
inline constexpr Tr kUnsupportedVersion = Tr("这个 age 文件的版本不受支持，不能解密。解密文件已取消。");
inline constexpr Tr kHeaderTooLarge = Tr("这个 age 文件的文件头超过 4 MiB，本程序不读这么大的文件头（文件不一定损坏）。解密文件已取消。");
inline constexpr Tr kNotAgeFile = Tr("文件不是 age 加密文件。解密文件已取消。");
inline constexpr Tr kInternalError = Tr("系统出错（内存不足或者没有随机数），已停止。没有写出任何文件。");

// The passphrase and the recipients of an encryption.
inline constexpr Tr kPassphraseEmpty =
    Tr("请先输入加密的密码，或者在菜单里用“加密给接收者(公钥)…”加密。加密文件已取消。");
inline constexpr Tr kPassphraseMismatch =
    Tr("两次输入的密码不相同：用 .age 格式加密时，右边的框里要再输入一次同样的密码。加密文件已取消。");
inline constexpr Tr kPassphraseNotUtf8 = Tr("密码不是有效的 UTF-8 文本，不能用作 age 密码。加密文件已取消。");
inline constexpr Tr kPassphraseLineBreak =
    Tr("密码里有换行符：.age 强加密的密码只能是一行（别的程序输入不了换行符），请删掉换行符后再加密。加密文件已取消。");
inline std::string WeakPassphraseQuestion(const std::string& hint) {
  return Fill(Tr("这个密码的强度是“{1}”：用它加密的文件可能被猜出密码打开。仍然用这个密码加密吗?"), hint);
}
inline constexpr Tr kWeakPassphraseCaption = Tr("密码太弱");
inline constexpr Tr kNoRecipients = Tr("没有接收者公钥：请粘贴 age1… 形式的公钥，每行一个，或者选择接收者文件。加密文件已取消。");
inline std::string BadRecipient(const std::string& line_hint) {
  return Fill(Tr("接收者公钥无效{1}：只支持 age1…、age1pq1… 形式的 age 公钥和 ssh-ed25519、ssh-rsa 形式的 SSH 公钥。加密文件已取消。"), line_hint);
}

// Plugins (age-plugin-NAME programs that keep the keys).
inline std::string PluginMissing(const std::string& program) {
  return Fill(Tr("找不到 age 插件程序 {1} (在 PATH 中)。"), program);
}
inline std::string BadPluginName(const std::string& name) { return Fill(Tr("“{1}”不是 age 插件的名字。"), name); }
inline std::string PluginError(const std::string& name, const std::string& text) {
  return Fill(Tr("age 插件 {1} 报告错误: {2}"), name, text);
}
inline std::string PluginConfirm(const std::string& text, const std::string& yes, const std::string& no) {
  return no.empty() ? Fill(Tr("{1} (是: {2})"), text, yes) : Fill(Tr("{1} (是: {2} / 否: {3})"), text, yes, no);
}
inline std::string PluginFailed(const std::string& detail) { return Fill(Tr("age 插件出错: {1}。没有写出任何文件。"), detail); }
// Post-quantum and classic recipients in one file.
inline constexpr Tr kMixedRecipients =
    Tr("后量子公钥 (age1pq1…) 不能和传统公钥 (age1…、SSH 公钥) 一起用来加密同一个文件：传统公钥会让文件失去抗量子计算机的保护。"
    "请只用后量子公钥，或者只用传统公钥。加密文件已取消。");
inline std::string RecipientRefused(const std::string& recipient, const std::string& why) {
  return Fill(Tr("接收者公钥{1}不能用：{2}加密文件已取消。"), recipient, why);
}
inline constexpr Tr kRsaTooSmall = Tr("RSA 公钥短于 2048 位，不安全。");
inline constexpr Tr kSshTypeUnsupported = Tr("只支持 ssh-ed25519 和 ssh-rsa 类型的 SSH 公钥。");

// Identity files (the secret keys of a decryption).
// Each ends with `cancelled`: the decryption's, or the encryption's for an
// identity file given to an encryption.
inline constexpr Tr kIdentitiesNotChosen = Tr("这次选择的身份密钥文件都没有采用。");
inline std::string IdentityFileUnreadable(const std::string& path, const char* cancelled = kDecryptCancelled) {
  return Fill(Tr("身份密钥文件“{1}”读不出来。{2}"), path, cancelled);
}
inline std::string IdentityFileInvalid(const std::string& path, const std::string& line_hint,
                                       const char* cancelled = kDecryptCancelled) {
  return Fill(Tr("身份密钥文件“{1}”{2}不是有效的 age 身份密钥（AGE-SECRET-KEY-1…）。{3}"), path, line_hint, cancelled);
}
inline std::string SshKeyMalformed(const std::string& path, const char* cancelled = kDecryptCancelled) {
  return Fill(Tr("身份密钥文件“{1}”不是可以读的 SSH 私钥。{2}"), path, cancelled);
}
inline std::string SshKeyUnsupported(const std::string& path, const char* cancelled = kDecryptCancelled) {
  return Fill(Tr("身份密钥文件“{1}”是 age 不支持的 SSH 私钥类型：只支持 ssh-ed25519 和 ssh-rsa。{2}"), path, cancelled);
}
inline std::string SshKeyTooSmall(const std::string& path, const char* cancelled = kDecryptCancelled) {
  return Fill(Tr("身份密钥文件“{1}”是短于 2048 位的 RSA 私钥，不安全，不能使用。{2}"), path, cancelled);
}
inline std::string SshKeyNeedsPublicKey(const std::string& path, const char* cancelled = kDecryptCancelled) {
  return Fill(Tr("身份密钥文件“{1}”是有密码保护的 PEM 私钥，看不出它的公钥：请把公钥放在“{2}"
                   ".pub”里。{3}"), path, path, cancelled);
}
inline std::string SshKeyPassphrasePrompt(const std::string& path) { return Fill(Tr("输入 SSH 私钥“{1}”的密码: "), path); }
inline std::string ProtectedIdentityPrompt(const std::string& path) {
  return Fill(Tr("输入身份密钥文件“{1}”的密码: "), path);
}
inline std::string KeyNotOpened(const std::string& path, const char* cancelled = kDecryptCancelled) {
  return Fill(Tr("{1}：没有输入密码或者密码不对，打不开身份密钥文件“{2}”。{3}"), std::string(kWrongPassphrase), path, cancelled);
}
inline std::string SshKeyCannotExport(const std::string& path, const char* cancelled = kDecryptCancelled) {
  return Fill(Tr("SSH 私钥“{1}”的密码正确，但是 libssh 0.10 交不出有密码保护的 OpenSSH 格式的 RSA 私钥：请先用 ssh-keygen -p -m PEM -f "
                   "{2} 把它转成 PEM 格式（密码不变），再用它解密。{3}"), path, path, cancelled);
}
inline constexpr Tr kSshLibraryMissing =
    Tr("打开有密码保护的 OpenSSH 私钥需要 libssh (Debian 软件包 libssh-4)，但是没有安装；"
       "ssh-keygen (Debian 软件包 openssh-client) 也没能打开它。解密文件已取消。");
inline std::string ProtectedIdentityInvalid(const std::string& path, const char* cancelled = kDecryptCancelled) {
  return Fill(Tr("身份密钥文件“{1}”解密后不是有效的 age 身份密钥。{2}"), path, cancelled);
}

// "（第 3 行）" for a key file's line, or nothing.
inline std::string LineHint(int line) { return line > 0 ? Fill(Tr("（第 {1} 行）"), line) : std::string(); }

// Files.
inline std::string EncryptSourceMissing(const std::string& source) {
  return Fill(Tr("要加密的文件:“{1}”不存在!{2}"), source, kEncryptCancelled);
}
inline std::string DecryptSourceMissing(const std::string& source) {
  return Fill(Tr("要解密的文件:“{1}”不存在!{2}"), source, kDecryptCancelled);
}
inline std::string ReplaceFailed(const std::string& target, const char* cancelled) {
  return Fill(Tr("替换删除文件“{1}”失败！文件正在使用中或者有只读属性等。{2}"), target, cancelled);
}
inline std::string ReplaceQuestion(const std::string& target) { return Fill(Tr("{1} 文件已经存在,是否替换? 否 则取消。"), target); }
inline constexpr Tr kReplaceCaption = Tr("替换文件");
inline std::string EncryptFailed(const std::string& source) { return Fill(Tr("加密文件“{1}”出错!已停止。没有写出任何文件。"), source); }
inline std::string DecryptFailed(const std::string& source) { return Fill(Tr("解密文件“{1}”出错!已停止。没有写出任何文件。"), source); }
inline std::string EncryptDiskFull(const std::string& source) {
  return Fill(Tr("加密文件“{1}”出错!磁盘空间不足。没有写出任何文件。"), source);
}
inline std::string DecryptDiskFull(const std::string& source) {
  return Fill(Tr("解密文件“{1}”出错!磁盘空间不足。没有写出任何文件。"), source);
}
inline std::string EncryptOutputHint(const std::string& target) { return Fill(Tr("加密后的文件：{1}"), target); }
inline std::string EncryptSourceHint(const std::string& source) { return Fill(Tr("进行 age 强加密的文件：{1}"), source); }
inline std::string DecryptOutputHint(const std::string& target) { return Fill(Tr("解密后的文件：{1}"), target); }
inline std::string DecryptSourceHint(const std::string& source) { return Fill(Tr("进行 age 解密的文件：{1}"), source); }

// The commands of the window around the engines.
inline constexpr Tr kCommandFailed = Tr("加密文件出错!已停止。");
inline constexpr Tr kEncryptOpenTitle = Tr("选择要加密的文件进行 age 强加密");
inline constexpr Tr kEncryptSaveFilter = Tr("age加密文件(*.age)|*.age|全部文件(*.*)|*.*");
inline constexpr Tr kEncryptSaveTitle = Tr("加密后的文件保存为");
inline constexpr Tr kDecryptSaveTitle = Tr("解密后的文件保存为");
inline constexpr Tr kIdentityFilter = Tr("身份密钥文件(*.txt)|*.txt|全部文件(*.*)|*.*");
inline constexpr Tr kIdentitySaveTitle = Tr("新的身份密钥保存为");
inline constexpr const char* kIdentitySaveName = "身份密钥.txt";
inline constexpr Tr kIdentityOpenFilter =
    Tr("身份密钥文件(*.txt;*.age;id_*;*.key)|*.txt;*.age;id_*;*.key|全部文件(*.*)|*.*");
inline constexpr Tr kIdentityOpenTitle = Tr("选择解密用的身份密钥文件 (可以多选)");
inline std::string IdentitiesChosen(std::size_t count) {
  return Fill(Tr("已选择 {1} 个身份密钥文件：解密用公钥加密的 age 文件时使用。"), std::to_string(count));
}
// A public key as a message shows it: a post-quantum one (some 2,000
// characters) by its two ends and its length.
inline std::string ShownPublicKey(const std::string& key) {
  if (key.size() <= 100) return key;
  return Fill(Tr("{1}…{2} ({3} 个字符)"), key.substr(0, 24), key.substr(key.size() - 12), key.size());
}
inline std::string PublicKeyStatus(const std::string& public_key) { return Fill(Tr("公钥：{1}"), public_key); }

// What an inspection shows of an age file, line by line.
inline std::string InspectRefused(const std::string& path) { return Fill(Tr("“{1}”不是可以读的 age 加密文件。"), path); }
inline std::string InspectTooLarge(const std::string& path) {
  return Fill(Tr("“{1}”的文件头超过 4 MiB，本程序不读这么大的文件头（文件不一定损坏）。"), path);
}
inline constexpr Tr kInspectFormat = Tr("格式: ");
inline constexpr Tr kInspectArmored = Tr("ASCII 文本 (armored)");
inline constexpr Tr kInspectBinary = Tr("二进制");
inline constexpr Tr kInspectRecipients = Tr("接收者:");
inline constexpr Tr kInspectScrypt = Tr("密码 (scrypt)");
inline constexpr Tr kInspectHybrid = Tr("后量子公钥 (mlkem768x25519)");
inline constexpr Tr kInspectSsh = Tr(" (SSH 公钥)");
inline constexpr Tr kInspectOther = Tr(" (插件或者未知类型)");
inline constexpr Tr kInspectWorkFactor = Tr("scrypt 工作因子: 2^");
inline constexpr Tr kInspectPostQuantum = Tr("抗量子计算机: ");
inline constexpr Tr kInspectYes = Tr("是");
inline constexpr Tr kInspectNo = Tr("否");
inline constexpr Tr kInspectHeaderSize = Tr("文件头: ");
inline constexpr Tr kInspectPayloadSize = Tr("加密内容: ");
inline constexpr Tr kInspectPlaintextSize = Tr("估计的原文大小: ");
inline constexpr Tr kInspectBytes = Tr(" 字节");

// The strength meter's hints, by zxcvbn's score 0..4.
inline constexpr Tr kStrengthHints[5] = {
    Tr("很弱：几乎马上就能被猜出"), Tr("弱：容易被猜出"), Tr("一般：最好再长一些"), Tr("较强"), Tr("很强"),
};
inline constexpr Tr kStrengthEmpty = Tr("还没有输入密码");

// The key generator.
inline std::string IdentityExists(const std::string& path) {
  return Fill(Tr("文件“{1}”已经存在。为了不丢失已有的身份密钥，不会替换它，请换一个文件名。"), path);
}
inline std::string IdentityNotWritten(const std::string& path) { return Fill(Tr("身份密钥文件“{1}”写入出错，没有生成身份密钥。"), path); }
inline constexpr Tr kIdentityProtectedFilter = Tr("有密码保护的身份密钥文件(*.age)|*.age|全部文件(*.*)|*.*");
// A file name: the same in every language.
inline constexpr const char* kIdentityProtectedSaveName = "身份密钥.age";
inline constexpr Tr kIdentityProtectedNote = Tr("\r\n身份密钥文件有密码保护：解密时会询问它的密码。");
inline std::string IdentityWritten(const std::string& path, const std::string& public_key) {
  return Fill(Tr("身份密钥已保存到：{1}\r\n公钥（已复制到剪贴板）：{2}"
                   "\r\n把公钥交给要给你加密文件的人；身份密钥文件要保密并且备份，丢了它就打不开给你加密的文件。"), path, public_key);
}

}  // namespace vesk::age_files::text
