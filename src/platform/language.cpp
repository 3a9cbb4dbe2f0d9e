#include "platform/language.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "platform/paths.h"

namespace vesk {
namespace {

// A loaded .mo file: its bytes, and each message id's translation in them
// (for a text with plural forms, the id is its singular and the translation
// holds the forms one after the other, each ended by a NUL).
struct Catalogue {
  std::string bytes;
  std::unordered_map<std::string_view, std::string_view> translations;
};

Language shown_language = Language::kChinese;
// Replaced only by UseLanguage, before any thread shows a text; every one
// loaded is kept (in `loaded`), since a text handed out earlier may still
// point into it.
Catalogue* catalogue = nullptr;
std::vector<std::unique_ptr<Catalogue>>& Loaded() {
  static auto* const loaded = new std::vector<std::unique_ptr<Catalogue>>();
  return *loaded;
}

uint32_t Word(const std::string& bytes, std::size_t at, bool swapped) {
  uint32_t w;
  std::memcpy(&w, bytes.data() + at, 4);
  return swapped ? __builtin_bswap32(w) : w;
}

// Reads a .mo file's string tables; nullptr when the bytes are no .mo file
// or a table or string lies outside them.
std::unique_ptr<Catalogue> ParseCatalogue(std::string_view data) {
  auto result = std::make_unique<Catalogue>();
  result->bytes.assign(data);
  const std::string& b = result->bytes;
  if (b.size() < 20) return nullptr;
  uint32_t magic;
  std::memcpy(&magic, b.data(), 4);
  bool swapped;
  if (magic == 0x950412deu) {
    swapped = false;
  } else if (magic == 0xde120495u) {
    swapped = true;
  } else {
    return nullptr;
  }
  if (Word(b, 4, swapped) >> 16 != 0) return nullptr;  // an unknown major revision
  const uint64_t count = Word(b, 8, swapped);
  const uint64_t originals = Word(b, 12, swapped);
  const uint64_t translated = Word(b, 16, swapped);
  if (originals + count * 8 > b.size() || translated + count * 8 > b.size()) return nullptr;
  // A string: its length and offset, and the NUL after it, inside the file.
  auto string_at = [&](uint64_t entry) -> std::optional<std::string_view> {
    const uint64_t length = Word(b, entry, swapped);
    const uint64_t offset = Word(b, entry + 4, swapped);
    if (offset + length >= b.size() || b[offset + length] != '\0') return std::nullopt;
    return std::string_view(b.data() + offset, length);
  };
  for (uint64_t i = 0; i < count; ++i) {
    const auto id = string_at(originals + i * 8);
    const auto text = string_at(translated + i * 8);
    if (!id || !text) return nullptr;
    // The header (the empty id) and untranslated entries leave the id shown.
    if (id->empty() || text->empty() || text->front() == '\0') continue;
    // A plural entry's id is its singular, a NUL and its plural.
    result->translations.emplace(id->substr(0, id->find('\0')), *text);
  }
  return result;
}

}  // namespace

Language LanguageOfLocale(std::string_view locale) {
  const std::string_view name = locale.substr(0, locale.find_first_of(".@"));
  if (name == "C" || name == "POSIX") return Language::kChinese;
  if (name == "zh" || name.starts_with("zh_")) return Language::kChinese;
  return Language::kEnglish;
}

Language LanguageFromEnvironment(const char* (*get)(const char*)) {
  if (get == nullptr) get = [](const char* name) -> const char* { return std::getenv(name); };
  for (const char* variable : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = get(variable);
    if (value == nullptr || *value == '\0') continue;
    std::string_view first(value);
    // LANGUAGE lists languages by preference; either of ours serves any list.
    first = first.substr(0, first.find(':'));
    if (first.empty()) continue;
    return LanguageOfLocale(first);
  }
  return Language::kChinese;
}

std::optional<Language> LanguageNamed(std::string_view name) {
  if (name == "zh") return Language::kChinese;
  if (name == "en") return Language::kEnglish;
  return std::nullopt;
}

bool UseLanguage(Language language, std::string_view bytes) {
  if (language == Language::kChinese) {
    shown_language = Language::kChinese;
    return true;
  }
  std::unique_ptr<Catalogue> parsed = ParseCatalogue(bytes);
  if (parsed == nullptr) return false;
  catalogue = parsed.get();
  Loaded().push_back(std::move(parsed));
  shown_language = Language::kEnglish;
  return true;
}

bool UseLanguageFromFile(Language language, const std::string& catalogue_path) {
  if (language == Language::kChinese) return UseLanguage(language);
  std::ifstream in(catalogue_path, std::ios::binary);
  if (!in) return false;
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return false;
  return UseLanguage(language, bytes);
}

Language ShownLanguage() { return shown_language; }

std::string EnglishCataloguePath() {
  const std::string relative = "/en/LC_MESSAGES/vesk.mo";
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n > 0) {
    const std::string folder = ExtractFilePath(std::string_view(self, static_cast<std::size_t>(n)));
    const std::string beside = folder + "../share/locale" + relative;
    if (access(beside.c_str(), R_OK) == 0) return beside;
  }
  return std::string(VESK_INSTALLED_LOCALE_DIR) + relative;
}

const char* Translate(const char* msgid) {
  if (shown_language == Language::kChinese || catalogue == nullptr) return msgid;
  const auto found = catalogue->translations.find(msgid);
  return found == catalogue->translations.end() ? msgid : found->second.data();
}

const char* TranslatePlural(const char* one, const char* other, uint64_t n) {
  const char* chinese = n == 1 ? one : other;
  if (shown_language == Language::kChinese || catalogue == nullptr) return chinese;
  const auto found = catalogue->translations.find(one);
  if (found == catalogue->translations.end()) return chinese;
  // English has two forms: the first for 1, the second for every other
  // number (the catalogue's "plural=(n != 1)"); an entry without a second
  // form serves both.
  const std::string_view forms = found->second;
  const std::size_t end = forms.find('\0');
  if (n == 1 || end == std::string_view::npos) return forms.data();
  return forms.data() + end + 1;
}

namespace language_detail {

std::string FillPattern(std::string_view pattern, const std::string* args, std::size_t count) {
  std::string out;
  out.reserve(pattern.size() + 64);
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    // "{N}" with N from 1 to 9; anything else is shown as it is.
    if (pattern[i] == '{' && i + 2 < pattern.size() && pattern[i + 2] == '}' && pattern[i + 1] >= '1' &&
        pattern[i + 1] <= '9') {
      const std::size_t index = static_cast<std::size_t>(pattern[i + 1] - '1');
      if (index < count) {
        out += args[index];
        i += 2;
        continue;
      }
    }
    out += pattern[i];
  }
  return out;
}

}  // namespace language_detail
}  // namespace vesk
