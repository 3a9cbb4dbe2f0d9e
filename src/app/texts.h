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


// ---- Self-decrypting files --------------------------------------------------
inline constexpr const char* kCreateOpenFilter = "jmz加密文件(*.jmz)|*.jmz|全部文件(*.*)|*.*";
inline constexpr const char* kCreateOpenTitle = "选择已加密文件创建自解密文件";
inline constexpr const char* kCreateSaveFilter = "自解密文件(*.run)|*.run|全部文件(*.*)|*.*";
inline constexpr const char* kCreateSaveTitle = "创建自解密后的文件保存为";
inline constexpr const char* kCreateCancelCaption = "取消创建";
inline std::string CreateCancelQuestion(const std::string& source) {
  return "真的要取消：“" + source + "”" + "创建自解密" + "文件吗?";
}
inline constexpr const char* kSelfDecryptSaveFilter = "全部文件(*.*)|*.*";
inline constexpr const char* kSelfDecryptSaveTitle = "解密后的文件保存为";
inline constexpr const char* kSelfDecryptCancelCaption = "取消自解密";
inline std::string SelfDecryptCancelQuestion(const std::string& shown_name) {
  return "真的要取消自解密：“" + shown_name + "”吗?";
}
inline constexpr const char* kSeparateSaveFilter = "jmz加密文件(*.jmz)|*.jmz|全部文件(*.*)|*.*";
inline constexpr const char* kSeparateSaveTitle = "分离后的文件保存为";
inline constexpr const char* kSeparateCancelCaption = "取消分离";
inline std::string SeparateCancelQuestion(const std::string& shown_name) {
  return "真的要取消分离自解密文件：“" + shown_name + "”吗?";
}


// ---- Shredder ---------------------------------------------------------------


// ---- Start-up and small commands --------------------------------------------


}  // namespace vesk::text
