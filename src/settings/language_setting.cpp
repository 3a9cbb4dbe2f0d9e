#include "settings/language_setting.h"

namespace vesk::settings {

Language WindowLanguage(const ValueStore& values, Language desktop) {
  const StoredInteger stored = values.ReadInteger(kLanguage);
  if (!stored.ok()) return desktop;
  if (stored.value == 1) return Language::kChinese;
  if (stored.value == 2) return Language::kEnglish;
  return desktop;
}

void StoreWindowLanguage(ValueStore& values, Language language) {
  values.WriteInteger(kLanguage, language == Language::kChinese ? 1 : 2);
}

}  // namespace vesk::settings
