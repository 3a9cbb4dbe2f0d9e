#include "platform/paths.h"

#include <climits>
#include <cstdlib>

#include <cstdlib>

namespace vesk {
namespace {

std::size_t ExtensionStart(std::string_view path) {
  std::size_t pos = path.find_last_of("./");
  if (pos == std::string_view::npos || path[pos] != '.') return path.size();
  return pos;
}

}  // namespace

std::string ExtractFileExt(std::string_view path) { return std::string(path.substr(ExtensionStart(path))); }

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
  std::string out(path.substr(0, ExtensionStart(path)));
  out += ext;
  return out;
}

std::string ExtractFileName(std::string_view path) {
  std::size_t pos = path.find_last_of('/');
  return std::string(pos == std::string_view::npos ? path : path.substr(pos + 1));
}

std::string ExtractFilePath(std::string_view path) {
  std::size_t pos = path.find_last_of('/');
  return pos == std::string_view::npos ? std::string() : std::string(path.substr(0, pos + 1));
}

std::string TempFolderPath() {
  const char* dir = std::getenv("TMPDIR");
  std::string out = (dir != nullptr && *dir != '\0') ? dir : "/tmp";
  if (out.back() != '/') out += '/';
  return out;
}

std::string FolderStem(const std::string& folder) {
  std::string path = folder;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const std::string name = ExtractFileName(path);
  if (name.empty() || name == "." || name == "..") {
    char resolved[PATH_MAX];
    if (::realpath(folder.c_str(), resolved) != nullptr) path = resolved;
  }
  return path;
}

}  // namespace vesk
