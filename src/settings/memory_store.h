// A settings store held in memory: for front ends that keep nothing between
// runs, and for tests.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "settings/value_store.h"

namespace vesk::settings {

// Values held in memory, as text like the file holds them.
class MemoryStore final : public ValueStore {
 public:
  bool Exists() const override { return exists_; }
  StoredInteger ReadInteger(std::string_view name) const override;
  void WriteInteger(std::string_view name, int32_t value) override;
  void Remove() override;
  // Stores any text (tests put values that are not integers).
  void WriteText(std::string_view name, std::string_view text);

 private:
  bool exists_ = false;
  std::map<std::string, std::string, std::less<>> values_;
};

}  // namespace vesk::settings
