// The texts the folder engines show: packing a folder into a container,
// unpacking a tar file into a folder, and their summaries.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/control_characters.h"
#include "platform/language.h"

namespace vesk::archive::text {

// A name from a tar stream or a folder is data: its control characters are
// shown escaped, never handed to the terminal or the window as they are.
inline std::string Shown(const std::string& name) { return EscapeControlCharacters(name); }

// Packing.
inline constexpr Tr kSurveying = Tr("统计文件夹里的文件...");
inline constexpr Tr kPacking = Tr("进行加密文件夹...");
inline constexpr Tr kPackingCompressed = Tr("进行压缩并加密文件夹...");
inline constexpr Tr kPackingCompressOnly = Tr("进行压缩文件夹...");
inline constexpr Tr kPackingKeyless = Tr("进行不保存密钥加密文件夹...");
inline constexpr Tr kPackingTar = Tr("进行打包文件夹...");
inline constexpr Tr kPackingAge = Tr("进行 age 强加密文件夹...");
inline constexpr Tr kPackDone = Tr("加密文件夹 ... 已完成。");
inline constexpr Tr kCompressDone = Tr("压缩文件夹 ... 已完成。");
inline constexpr Tr kTarDone = Tr("打包文件夹 ... 已完成。");
inline constexpr Tr kAgeDone = Tr("age 强加密文件夹 ... 已完成。");
inline constexpr Tr kPackCancelled = Tr("加密文件夹已取消。");
inline constexpr Tr kPackFailed = Tr("加密文件夹出错!已停止。");
inline constexpr Tr kPackEmptyKey = Tr("密钥不能为空！请输入加密的密钥。加密文件已取消。");
inline constexpr Tr kPackTooLarge = Tr("文件夹打包后大于4GB，不能加密!加密文件已取消。");
inline constexpr Tr kDiskFull = Tr("磁盘空间不足。");

inline std::string FolderMissing(const std::string& folder) {
  return Fill(Tr("要加密的文件夹:“{1}”不存在!加密文件已取消。"), folder);
}
inline std::string TargetInsideFolder(const std::string& target) {
  return Fill(Tr("加密后的文件“{1}”不能保存在要加密的文件夹里面。加密文件已取消。"), target);
}
// What a folder that was not made into its output did not become: encrypted,
// compressed (a compression only) or packed (a plain tar).
inline constexpr Tr kNotEncrypted = Tr("加密");
inline constexpr Tr kNotCompressed = Tr("压缩");
inline constexpr Tr kNotPacked = Tr("打包");
inline std::string Unreadable(const std::string& name, const char* not_done = kNotEncrypted) {
  return Fill(Tr("无法读取“{1}”，文件夹没有{2}。"), Shown(name), not_done);
}
inline std::string ChangedWhilePacked(const std::string& name, const char* not_done = kNotEncrypted) {
  return Fill(Tr("“{1}”在打包时被改变了，文件夹没有{2}。请在它不再改变时重试。"), Shown(name), not_done);
}
inline std::string PackFailed(const char* not_done) { return Fill(Tr("{1}文件夹出错!已停止。"), std::string(not_done)); }
inline std::string PackReplaceFailed(const std::string& target) {
  return Fill(Tr("替换删除文件“{1}”失败！文件正在使用中或者有只读属性等。加密文件已取消。"), target);
}

// Unpacking.
inline constexpr Tr kUnpackQuestion = Tr("解开文件夹？");
inline constexpr Tr kUnpackCaption = Tr("解开文件夹");
inline constexpr Tr kUnpacking = Tr("进行解开文件夹...");
inline constexpr Tr kUnpackDone = Tr("解开文件夹 ... 已完成。");
inline constexpr Tr kUnpackCancelled = Tr("解开文件夹已取消。");
inline constexpr Tr kNewFolderTitle = Tr("文件夹已经存在，解开到另外的文件夹");

inline std::string UnpackedFolderHint(const std::string& folder) { return Fill(Tr("解开后的文件夹：{1}"), folder); }
inline std::string UnpackedSourceHint(const std::string& tar) { return Fill(Tr("进行解开的文件：{1}"), tar); }
inline std::string UnpackSourceMissing(const std::string& source) {
  return Fill(Tr("要解开的文件:“{1}”不存在!解开文件夹已取消。"), source);
}
inline std::string FolderExists(const std::string& folder) {
  return Fill(Tr("文件夹“{1}”已经存在，没有解开。(已有的文件夹不会被合并或者替换)"), folder);
}
inline std::string Unsafe(const std::string& source, const std::string& name) {
  return Fill(Tr("“{1}”里的“{2}”会写到文件夹外面、经过链接或者重复出现，不安全。没有解开文件夹。"), source, Shown(name));
}
inline std::string Damaged(const std::string& source) {
  return Fill(Tr("“{1}”不是完整的tar文件(已被破坏或者不完整)。没有解开文件夹。"), source);
}
inline std::string UnpackFailed(const std::string& folder) {
  return Fill(Tr("解开文件夹“{1}”出错!已停止。"), folder);
}
inline std::string TarRemoved(const std::string& tar) { return Fill(Tr("已删除中间文件“{1}”。"), tar); }
inline std::string NameTooLong(const std::string& name) {
  return Fill(Tr("“{1}”的名称太长，这里的文件系统不能保存。"), Shown(name));
}
inline std::string TarKept(const std::string& tar) { return Fill(Tr("解密出的tar文件保留在“{1}”。"), tar); }

// Summaries.
inline std::string Counts(int64_t files, int64_t folders, int64_t links, int64_t bytes) {
  std::string s = FillN(TrN("共 {1} 个文件，{2} 字节", "共 {1} 个文件，{2} 字节"), static_cast<uint64_t>(files), files, bytes);
  if (folders > 0) s += FillN(TrN("，{1} 个文件夹", "，{1} 个文件夹"), static_cast<uint64_t>(folders), folders);
  if (links > 0) s += FillN(TrN("，{1} 个链接", "，{1} 个链接"), static_cast<uint64_t>(links), links);
  return s + Tr("。");
}
inline std::string NameList(const std::vector<std::string>& names) {
  std::string s;
  for (const std::string& n : names) s += "\n  " + Shown(n);
  return s;
}
inline std::string SkippedWhenPacking(const std::vector<std::string>& names, const char* not_done = kNotEncrypted) {
  return Fill(Tr("以下特殊文件(套接字、设备、FIFO)没有{1}:{2}"), not_done, NameList(names));
}
inline std::string SkippedWhenUnpacking(const std::vector<std::string>& names) {
  return Fill(Tr("以下特殊文件(设备、FIFO、套接字)没有解开:{1}"), NameList(names));
}
inline std::string SetIdCleared(const std::vector<std::string>& names) {
  return Fill(Tr("以下文件的 set-user-ID / set-group-ID 权限已去掉:{1}"), NameList(names));
}

}  // namespace vesk::archive::text
