#include "settings/value_store.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace vesk::settings {

std::optional<int32_t> ParseStoredInteger(std::string_view text) {
  std::size_t i = 0, end = text.size();
  while (i < end && (text[i] == ' ' || text[i] == '\t')) ++i;
  while (end > i && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\r')) --end;
  bool negative = false;
  if (i < end && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == end) return std::nullopt;
  int64_t value = 0;
  for (; i < end; ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    value = value * 10 + (text[i] - '0');
    if (value > 0xFFFFFFFFLL) return std::nullopt;
  }
  if (negative) {
    if (value > 0x80000000LL) return std::nullopt;
    value = -value;
  }
  return static_cast<int32_t>(static_cast<uint32_t>(value));
}

std::string SettingsFilePath() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::string base;
  if (config != nullptr && config[0] == '/') {
    base = config;
  } else {
    const char* home = std::getenv("HOME");
    std::string h = home != nullptr && home[0] == '/' ? home : "";
    if (h.empty()) {
      if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr) h = pw->pw_dir;
    }
    if (h.empty()) throw std::runtime_error("the home folder is unknown");
    base = h + "/.config";
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/vesk/vesk.conf";
}

void RemoveSettingsFile(const std::string& path) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
    throw std::runtime_error("cannot delete " + path + ": " + std::strerror(errno));
  }
  const std::size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0) ::rmdir(path.substr(0, slash).c_str());  // only when empty
}

}  // namespace vesk::settings
