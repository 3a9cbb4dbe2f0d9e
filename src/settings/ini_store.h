// The settings file: an INI file ($XDG_CONFIG_HOME/vesk/vesk.conf) read and
// written through QSettings. Each value is a line "name=integer" in its
// [General] section. Writes go to a temporary file that replaces the old one
// by a rename, so the file is always either the old or the new one. Only the
// window links this (QtCore); the settings logic sees the ValueStore.
#pragma once

#include <string>

#include "settings/value_store.h"

namespace vesk::settings {

class IniFileStore final : public ValueStore {
 public:
  explicit IniFileStore(std::string path) : path_(std::move(path)) {}

  const std::string& Path() const { return path_; }

  // The file exists (as anything: a file that cannot be read still is the
  // user's settings, and reads then find no values).
  bool Exists() const override;
  StoredInteger ReadInteger(std::string_view name) const override;
  // Writes and reads the value back: a write that QSettings could not
  // complete throws.
  void WriteInteger(std::string_view name, int32_t value) override;
  void Remove() override { RemoveSettingsFile(path_); }

 private:
  std::string path_;
};

}  // namespace vesk::settings
