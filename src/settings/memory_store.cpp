#include "settings/memory_store.h"

namespace vesk::settings {

StoredInteger MemoryStore::ReadInteger(std::string_view name) const {
  const auto it = values_.find(name);
  if (it == values_.end()) return {};
  const auto value = ParseStoredInteger(it->second);
  if (!value) return {ReadStatus::Unreadable, 0};
  return {ReadStatus::Ok, *value};
}

void MemoryStore::WriteInteger(std::string_view name, int32_t value) { WriteText(name, std::to_string(value)); }

void MemoryStore::WriteText(std::string_view name, std::string_view text) {
  exists_ = true;
  values_[std::string(name)] = std::string(text);
}

void MemoryStore::Remove() {
  exists_ = false;
  values_.clear();
}

}  // namespace vesk::settings
