// The texts the compression component shows: why a compression or
// decompression run failed.
#pragma once

#include <string>

namespace vesk::compress::text {

inline constexpr const char* kDiskFull = "磁盘空间不足。";
inline constexpr const char* kNotCompressedHere = "可能文件未经此软件压缩过。";
inline constexpr const char* kReadWriteFailed = "读写文件出错。";

inline std::string CannotWriteFolder(const std::string& folder) { return "无法写入文件夹“" + folder + "”。"; }
inline std::string CannotReadFile(const std::string& source) { return "无法读取文件“" + source + "”。"; }

}  // namespace vesk::compress::text
