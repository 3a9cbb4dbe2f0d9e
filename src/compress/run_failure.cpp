#include "compress/run_failure.h"

#include <unistd.h>

#include <cstdint>

#include "compress/texts.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/staged_file.h"

namespace vesk {
namespace {

bool WritableFolder(const std::string& folder) {
  return DirectoryExists(folder) && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

}  // namespace

std::string FolderFailure(const std::string& folder) {
  return LowOnSpace(folder) ? compress::text::kDiskFull : compress::text::CannotWriteFolder(folder);
}

std::string RunFailure(const std::string& source, const std::string& dest, bool decompress, bool began) {
  if (!FileExists(source)) return compress::text::CannotReadFile(source);
  const std::string folder = FolderOf(dest);
  if (!WritableFolder(folder)) return compress::text::CannotWriteFolder(folder);
  // A decompression checks the whole stream before it reports its start; a
  // stream it refused leaves nothing written (the output pass may already
  // have written while the check ran, and filled the disk doing so).
  if (decompress && !began && FileSizeOf(dest) <= 0) return compress::text::kNotCompressedHere;
  if (LowOnSpace(folder)) return compress::text::kDiskFull;
  return compress::text::kReadWriteFailed;
}

}  // namespace vesk
