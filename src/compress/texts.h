// The texts the compression component shows: why a compression or
// decompression run failed.
#pragma once

#include <string>

namespace vesk::compress::text {

inline constexpr const char* kDiskFull = "磁盘空间不足。";
inline constexpr const char* kNotCompressedHere = "可能文件未经此软件压缩过。";
inline constexpr const char* kReadWriteFailed = "读写文件出错。";
inline constexpr const char* kStreamDamaged = "压缩数据已损坏或被截断。";

inline std::string CannotWriteFolder(const std::string& folder) { return "无法写入文件夹“" + folder + "”。"; }
inline std::string CannotReadFile(const std::string& source) { return "无法读取文件“" + source + "”。"; }

// A compression into a ".zak".
inline constexpr const char* kCompressing = "进行压缩文件...";
inline std::string CompressStopped(const std::string& stage, const std::string& failure) {
  return stage + "不能完成！已经取消。" + failure;
}

// A decompression that ends a run.
inline constexpr const char* kDecompressing = "进行解压缩文件...";
inline constexpr const char* kDecryptedDone = "解密文件 ... 已完成。";
inline std::string DecompressStopped(const std::string& stage, const std::string& failure) {
  return stage + "不能完成！已经取消。" + failure;
}
inline std::string TargetAppeared(const std::string& target) { return "文件“" + target + "”已经存在。"; }
inline std::string StageDone(const std::string& stage) { return stage + " 已完成。"; }

}  // namespace vesk::compress::text
