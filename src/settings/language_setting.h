// The window's language setting: the desktop's language (nothing stored),
// or Chinese or English chosen in the window's popup menu. The window reads
// it once at its start, before it shows a text.
#pragma once

#include "platform/language.h"
#include "settings/value_store.h"

namespace vesk::settings {

// Value name in the store: 1 Chinese, 2 English; anything else (or nothing)
// follows the desktop.
inline constexpr char kLanguage[] = "yyxz";

// The language the window starts in: the stored choice, else `desktop`.
Language WindowLanguage(const ValueStore& values, Language desktop);

// Stores `language` as the window's choice from its next start. Throws
// std::runtime_error when the store cannot be written.
void StoreWindowLanguage(ValueStore& values, Language language);

}  // namespace vesk::settings
