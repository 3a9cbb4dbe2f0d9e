// Every text the window logic shows of its own (the engines' texts live in
// their layers' texts files), by name, one section per command family.
#pragma once

#include <string>

namespace vesk::text {

// ---- Age (the strong format) ------------------------------------------------


// ---- Batches and folders ----------------------------------------------------


// ---- Compression and keyed containers ---------------------------------------


// ---- Desktop registration ---------------------------------------------------


// ---- Key-less containers ----------------------------------------------------
inline constexpr const char* kKeylessEncryptIdle = "创建不保存密钥的加密文件";
inline constexpr const char* kKeylessDecryptIdle = "解密不保存密钥的加密文件";
inline constexpr const char* kKeylessEncryptCancelCaption = "取消加密";
inline constexpr const char* kKeylessDecryptCancelCaption = "取消解密";
inline std::string KeylessEncryptCancelQuestion(const std::string& source) { return "真的要取消加密：“" + source + "”吗?"; }
inline std::string KeylessDecryptCancelQuestion(const std::string& source) { return "真的要取消解密：“" + source + "”吗?"; }
inline constexpr const char* kKeylessEncryptNoKey = "密钥不能为空,请输入加密的密钥。";
inline constexpr const char* kKeylessDecryptNoKey = "密钥不能为空,请输入解密的密钥。";
inline constexpr const char* kKeylessEncryptOpenFilter = "全部文件(*.*)|*.*";
inline constexpr const char* kKeylessAnyFilter = "全部文件(*.*)|*.*";
inline constexpr const char* kKeylessSaveFilter = "jmz加密文件(*.jmz)|*.jmz|全部文件(*.*)|*.*";
inline constexpr const char* kKeylessEncryptOpenTitle = "选择文件进行不保存密钥加密";
inline constexpr const char* kKeylessDecryptOpenTitle = "选择文件进行解密";
inline constexpr const char* kKeylessEncryptSaveTitle = "加密后的文件保存为";
inline constexpr const char* kKeylessDecryptSaveTitle = "解密后的文件保存为";


// ---- Self-decrypting files --------------------------------------------------


// ---- Shredder ---------------------------------------------------------------


// ---- Start-up and small commands --------------------------------------------


}  // namespace vesk::text
