// The language the programs speak: Chinese (the texts as written in the
// texts files, which are the catalogue's message ids) or English (the
// translations in the catalogue, a GNU .mo file). A text is a `Tr`: it is
// looked up each time it is shown, so a text file's constants work for
// whichever language the program chose at its start.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <type_traits>

namespace vesk {

enum class Language { kChinese, kEnglish };

// The language a locale name asks for: Chinese for "zh", "zh_*" and the C
// locale ("C", "POSIX", "C.UTF-8"), English for every other name.
Language LanguageOfLocale(std::string_view locale);

// The desktop's language from the environment: the first of LANGUAGE (its
// first entry), LC_ALL, LC_MESSAGES and LANG that is set and not empty;
// Chinese when none is. `get` reads a variable (std::getenv by default).
Language LanguageFromEnvironment(const char* (*get)(const char*) = nullptr);

// "zh" and "en", as --lang and the window's setting name them.
std::optional<Language> LanguageNamed(std::string_view name);

// Shows every text from now on in `language`. English takes its texts from
// `catalogue`, the bytes of a .mo file (copied); false, and the texts stay
// Chinese, when it is no readable catalogue. Call it before any thread
// shows a text.
bool UseLanguage(Language language, std::string_view catalogue = {});
// As above, with the catalogue read from a file.
bool UseLanguageFromFile(Language language, const std::string& catalogue_path);
// The language the texts are shown in now.
Language ShownLanguage();

// Where the English catalogue of the running program is: beside the
// programs as built ("<program folder>/../share/locale/en/LC_MESSAGES/
// vesk.mo", which is also where an installation keeps it), else in the
// locale folder of the installation prefix the programs were built for.
std::string EnglishCataloguePath();

// The shown text for a message id: its translation in the language in
// use, or the id itself.
const char* Translate(const char* msgid);

// A translatable text. Constructed from its Chinese text (the message id,
// which xgettext extracts through the keyword Tr), converted to the shown
// text where it is used.
class Tr {
 public:
  constexpr explicit Tr(const char* msgid) : msgid_(msgid) {}
  const char* c_str() const { return Translate(msgid_); }
  std::string str() const { return c_str(); }
  operator const char*() const { return c_str(); }
  operator std::string() const { return c_str(); }
  constexpr const char* msgid() const { return msgid_; }

  friend std::string operator+(const std::string& a, const Tr& b) { return a + b.c_str(); }
  friend std::string operator+(std::string&& a, const Tr& b) { return std::move(a) + b.c_str(); }
  friend std::string operator+(const Tr& a, const std::string& b) { return a.c_str() + b; }
  friend std::string operator+(const char* a, const Tr& b) { return std::string(a) + b.c_str(); }
  friend std::string operator+(const Tr& a, const char* b) { return std::string(a.c_str()) + b; }
  friend std::string operator+(const Tr& a, const Tr& b) { return std::string(a.c_str()) + b.c_str(); }
  friend bool operator==(const Tr& a, std::string_view b) { return std::string_view(a.c_str()) == b; }
  friend bool operator==(const Tr& a, const char* b) { return std::string_view(a.c_str()) == b; }
  friend bool operator==(const Tr& a, const std::string& b) { return std::string_view(a.c_str()) == b; }
  friend bool operator==(const Tr& a, const Tr& b) { return std::string_view(a.c_str()) == b.c_str(); }
  friend std::ostream& operator<<(std::ostream& out, const Tr& t) { return out << t.c_str(); }

 private:
  const char* msgid_;
};

// A translatable text that names a count: its form for one and its form
// for any other number (the same Chinese text twice; the catalogue's
// English has "1 file" and "2 files"). xgettext extracts it through the
// keyword TrN:1,2.
class TrN {
 public:
  constexpr TrN(const char* one, const char* other) : one_(one), other_(other) {}
  // The shown form for the count `n`.
  const char* For(uint64_t n) const;

 private:
  const char* one_;
  const char* other_;
};

// The shown form of a text with plural forms for the count `n`.
const char* TranslatePlural(const char* one, const char* other, uint64_t n);
inline const char* TrN::For(uint64_t n) const { return TranslatePlural(one_, other_, n); }

namespace language_detail {
inline std::string AsText(std::string_view s) { return std::string(s); }
inline std::string AsText(const Tr& t) { return t.str(); }
template <class T>
  requires std::is_integral_v<T>
std::string AsText(T n) {
  return std::to_string(n);
}
std::string FillPattern(std::string_view pattern, const std::string* args, std::size_t count);
}  // namespace language_detail

// A shown pattern with its placeholders {1}, {2}, … replaced by the
// arguments in that order (a translation may put them in another order).
template <class... Args>
std::string Fill(const Tr& pattern, const Args&... args) {
  const std::string texts[] = {std::string(), language_detail::AsText(args)...};
  return language_detail::FillPattern(pattern.c_str(), texts + 1, sizeof...(Args));
}

// Fill for a text with plural forms: the form for `count`, then filled.
template <class... Args>
std::string FillN(const TrN& pattern, uint64_t count, const Args&... args) {
  const std::string texts[] = {std::string(), language_detail::AsText(args)...};
  return language_detail::FillPattern(pattern.For(count), texts + 1, sizeof...(Args));
}

}  // namespace vesk
