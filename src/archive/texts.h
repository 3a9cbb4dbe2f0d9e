// The texts the folder engines show: packing a folder into a container,
// unpacking a tar file into a folder, and their summaries.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/control_characters.h"

namespace vesk::archive::text {

// A name from a tar stream or a folder is data: its control characters are
// shown escaped, never handed to the terminal or the window as they are.
inline std::string Shown(const std::string& name) { return EscapeControlCharacters(name); }

// Packing.
inline constexpr const char* kSurveying = "统计文件夹里的文件...";
inline constexpr const char* kPacking = "进行加密文件夹...";
inline constexpr const char* kPackingCompressed = "进行压缩并加密文件夹...";
inline constexpr const char* kPackingCompressOnly = "进行压缩文件夹...";
inline constexpr const char* kPackingKeyless = "进行不保存密钥加密文件夹...";
inline constexpr const char* kPackingTar = "进行打包文件夹...";
inline constexpr const char* kPackingAge = "进行 age 强加密文件夹...";
inline constexpr const char* kPackDone = "加密文件夹 ... 已完成。";
inline constexpr const char* kCompressDone = "压缩文件夹 ... 已完成。";
inline constexpr const char* kTarDone = "打包文件夹 ... 已完成。";
inline constexpr const char* kAgeDone = "age 强加密文件夹 ... 已完成。";
inline constexpr const char* kPackCancelled = "加密文件夹已取消。";
inline constexpr const char* kPackFailed = "加密文件夹出错!已停止。";
inline constexpr const char* kPackEmptyKey = "密钥不能为空！请输入加密的密钥。加密文件已取消。";
inline constexpr const char* kPackTooLarge = "文件夹打包后大于4GB，不能加密!加密文件已取消。";
inline constexpr const char* kDiskFull = "磁盘空间不足。";

inline std::string FolderMissing(const std::string& folder) {
  return "要加密的文件夹:“" + folder + "”不存在!加密文件已取消。";
}
inline std::string TargetInsideFolder(const std::string& target) {
  return "加密后的文件“" + target + "”不能保存在要加密的文件夹里面。加密文件已取消。";
}
// What a folder that was not made into its output did not become: encrypted,
// compressed (a compression only) or packed (a plain tar).
inline constexpr const char* kNotEncrypted = "加密";
inline constexpr const char* kNotCompressed = "压缩";
inline constexpr const char* kNotPacked = "打包";
inline std::string Unreadable(const std::string& name, const char* not_done = kNotEncrypted) {
  return "无法读取“" + Shown(name) + "”，文件夹没有" + not_done + "。";
}
inline std::string ChangedWhilePacked(const std::string& name, const char* not_done = kNotEncrypted) {
  return "“" + Shown(name) + "”在打包时被改变了，文件夹没有" + not_done + "。请在它不再改变时重试。";
}
inline std::string PackFailed(const char* not_done) { return std::string(not_done) + "文件夹出错!已停止。"; }
inline std::string PackReplaceFailed(const std::string& target) {
  return "替换删除文件“" + target + "”失败！文件正在使用中或者有只读属性等。加密文件已取消。";
}

// Unpacking.
inline constexpr const char* kUnpackQuestion = "解开文件夹？";
inline constexpr const char* kUnpackCaption = "解开文件夹";
inline constexpr const char* kUnpacking = "进行解开文件夹...";
inline constexpr const char* kUnpackDone = "解开文件夹 ... 已完成。";
inline constexpr const char* kUnpackCancelled = "解开文件夹已取消。";
inline constexpr const char* kNewFolderTitle = "文件夹已经存在，解开到另外的文件夹";

inline std::string UnpackedFolderHint(const std::string& folder) { return "解开后的文件夹：" + folder; }
inline std::string UnpackedSourceHint(const std::string& tar) { return "进行解开的文件：" + tar; }
inline std::string UnpackSourceMissing(const std::string& source) {
  return "要解开的文件:“" + source + "”不存在!解开文件夹已取消。";
}
inline std::string FolderExists(const std::string& folder) {
  return "文件夹“" + folder + "”已经存在，没有解开。(已有的文件夹不会被合并或者替换)";
}
inline std::string Unsafe(const std::string& source, const std::string& name) {
  return "“" + source + "”里的“" + Shown(name) + "”会写到文件夹外面、经过链接或者重复出现，不安全。没有解开文件夹。";
}
inline std::string Damaged(const std::string& source) {
  return "“" + source + "”不是完整的tar文件(已被破坏或者不完整)。没有解开文件夹。";
}
inline std::string UnpackFailed(const std::string& folder) {
  return "解开文件夹“" + folder + "”出错!已停止。";
}
inline std::string TarRemoved(const std::string& tar) { return "已删除中间文件“" + tar + "”。"; }
inline std::string NameTooLong(const std::string& name) {
  return "“" + Shown(name) + "”的名称太长，这里的文件系统不能保存。";
}
inline std::string TarKept(const std::string& tar) { return "解密出的tar文件保留在“" + tar + "”。"; }

// Summaries.
inline std::string Counts(int64_t files, int64_t folders, int64_t links, int64_t bytes) {
  std::string s = "共 " + std::to_string(files) + " 个文件，" + std::to_string(bytes) + " 字节";
  if (folders > 0) s += "，" + std::to_string(folders) + " 个文件夹";
  if (links > 0) s += "，" + std::to_string(links) + " 个链接";
  return s + "。";
}
inline std::string NameList(const std::vector<std::string>& names) {
  std::string s;
  for (const std::string& n : names) s += "\n  " + Shown(n);
  return s;
}
inline std::string SkippedWhenPacking(const std::vector<std::string>& names, const char* not_done = kNotEncrypted) {
  return std::string("以下特殊文件(套接字、设备、FIFO)没有") + not_done + ":" + NameList(names);
}
inline std::string SkippedWhenUnpacking(const std::vector<std::string>& names) {
  return "以下特殊文件(设备、FIFO、套接字)没有解开:" + NameList(names);
}
inline std::string SetIdCleared(const std::vector<std::string>& names) {
  return "以下文件的 set-user-ID / set-group-ID 权限已去掉:" + NameList(names);
}

}  // namespace vesk::archive::text
