#include "compress/run_failure.h"

#include <unistd.h>

#include <cstdint>

#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/staged_file.h"

namespace vesk {
namespace {

bool WritableFolder(const std::string& folder) {
  return DirectoryExists(folder) && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

std::string CannotWrite(const std::string& folder) { return "无法写入文件夹“" + folder + "”。"; }

}  // namespace

std::string FolderFailure(const std::string& folder) {
  return LowOnSpace(folder) ? "磁盘空间不足。" : CannotWrite(folder);
}

std::string RunFailure(const std::string& source, const std::string& dest, bool decompress, bool began) {
  if (!FileExists(source)) return "无法读取文件“" + source + "”。";
  const std::string folder = FolderOf(dest);
  if (!WritableFolder(folder)) return CannotWrite(folder);
  // A decompression checks the whole stream before it reports its start; a
  // stream it refused leaves nothing written (the output pass may already
  // have written while the check ran, and filled the disk doing so).
  if (decompress && !began && FileSizeOf(dest) <= 0) return "可能文件未经此软件压缩过。";
  if (LowOnSpace(folder)) return "磁盘空间不足。";
  return "读写文件出错。";
}

}  // namespace vesk
