#include "cli/output_name.h"

#include "crypto/keyed/stored_extension.h"
#include "platform/file_io.h"

namespace vesk::cli {

std::string StoredExtensionOf(const std::string& path) { return keyed::StoredExtension(path); }

std::optional<std::string> ExistingFolderOf(const std::string& output) {
  if (output.empty() || !DirectoryExists(output)) return std::nullopt;
  return output.back() == '/' ? output : output + '/';
}

std::string DecryptTargetFor(const std::string& output, const std::string& ext) {
  if (ext.empty() || output.size() <= ext.size()) return output;
  if (output.compare(output.size() - ext.size(), ext.size(), ext) != 0) return output;
  const std::string stem = output.substr(0, output.size() - ext.size());
  if (stem.back() == '/') return output;  // "-o dir/.txt" names a file ".txt"
  return stem;
}

}  // namespace vesk::cli
