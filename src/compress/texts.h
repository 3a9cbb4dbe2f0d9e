// The texts the compression component shows: why a compression or
// decompression run failed.
#pragma once

#include <string>

#include "platform/language.h"

namespace vesk::compress::text {

inline constexpr Tr kDiskFull = Tr("磁盘空间不足。");
inline constexpr Tr kNotCompressedHere = Tr("可能文件未经此软件压缩过。");
inline constexpr Tr kReadWriteFailed = Tr("读写文件出错。");
inline constexpr Tr kStreamDamaged = Tr("压缩数据已损坏或被截断。");

inline std::string CannotWriteFolder(const std::string& folder) { return Fill(Tr("无法写入文件夹“{1}”。"), folder); }
inline std::string CannotReadFile(const std::string& source) { return Fill(Tr("无法读取文件“{1}”。"), source); }

// A compression into a ".zak".
inline constexpr Tr kCompressing = Tr("进行压缩文件...");
inline std::string CompressStopped(const std::string& stage, const std::string& failure) {
  return Fill(Tr("{1}不能完成！已经取消。{2}"), stage, failure);
}

// A decompression that ends a run.
inline constexpr Tr kDecompressing = Tr("进行解压缩文件...");
inline constexpr Tr kDecryptedDone = Tr("解密文件 ... 已完成。");
inline std::string DecompressStopped(const std::string& stage, const std::string& failure) {
  return Fill(Tr("{1}不能完成！已经取消。{2}"), stage, failure);
}
inline std::string TargetAppeared(const std::string& target) { return Fill(Tr("文件“{1}”已经存在。"), target); }
inline std::string StageDone(const std::string& stage) { return Fill(Tr("{1} 已完成。"), stage); }

}  // namespace vesk::compress::text
