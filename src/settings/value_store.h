// Where the settings live: named 32-bit integer values in one per-user
// store. The settings logic sees only this interface, so it needs no
// toolkit; the window injects the store it keeps the values in (the INI file
// of ini_store.h), and a front end that keeps nothing uses a MemoryStore.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vesk::settings {

// Why a read gave no value: no such value, or one that is not an integer.
enum class ReadStatus { Ok, Absent, Unreadable };

struct StoredInteger {
  ReadStatus status = ReadStatus::Absent;
  int32_t value = 0;
  bool ok() const { return status == ReadStatus::Ok; }
};

class ValueStore {
 public:
  virtual ~ValueStore() = default;
  // Whether the store exists at all; before the first write it does not.
  virtual bool Exists() const = 0;
  virtual StoredInteger ReadInteger(std::string_view name) const = 0;
  // Writes `name` as an integer, replacing whatever was stored under it,
  // and creates the store when needed. Throws std::runtime_error on failure
  // (the stored values then stay as they were).
  virtual void WriteInteger(std::string_view name, int32_t value) = 0;
  // Removes the whole store. Throws std::runtime_error on failure.
  virtual void Remove() = 0;
};

// The stored text of a value as an integer: decimal with an optional sign,
// blanks around it allowed, within -2^31 .. 2^32-1 (values above 2^31-1 are
// taken modulo 2^32, as a 32-bit value written unsigned reads back).
std::optional<int32_t> ParseStoredInteger(std::string_view text);

// $XDG_CONFIG_HOME/vesk/vesk.conf, or ~/.config/vesk/vesk.conf when the
// variable is not an absolute path. Throws std::runtime_error when the home
// folder is unknown.
std::string SettingsFilePath();

// Deletes the settings file without reading it, and its folder when that is
// then empty. No file is no failure; throws std::runtime_error when the file
// is there and cannot be deleted.
void RemoveSettingsFile(const std::string& path);

}  // namespace vesk::settings
