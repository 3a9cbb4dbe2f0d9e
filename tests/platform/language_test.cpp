// The language chosen from the environment, the catalogue read from a .mo
// file (and refused when damaged), and the placeholders of shown patterns.
#include "platform/language.h"

#include <fstream>
#include <iterator>
#include <map>

#include <gtest/gtest.h>

namespace vesk {
namespace {

std::map<std::string, std::string> environment;
const char* Get(const char* name) {
  const auto found = environment.find(name);
  return found == environment.end() ? nullptr : found->second.c_str();
}

TEST(Language, TheFirstSetVariableDecides) {
  struct Case {
    const char* language;
    const char* lc_all;
    const char* lc_messages;
    const char* lang;
    Language expected;
  };
  constexpr auto zh = Language::kChinese;
  constexpr auto en = Language::kEnglish;
  const Case cases[] = {
      {nullptr, nullptr, nullptr, nullptr, zh},  // nothing set: as today
      {nullptr, nullptr, nullptr, "C", zh},
      {nullptr, nullptr, nullptr, "POSIX", zh},
      {nullptr, nullptr, nullptr, "C.UTF-8", zh},
      {nullptr, nullptr, nullptr, "C.utf8", zh},
      {nullptr, nullptr, nullptr, "zh_CN.UTF-8", zh},
      {nullptr, nullptr, nullptr, "zh_TW.Big5", zh},
      {nullptr, nullptr, nullptr, "zh", zh},
      {nullptr, nullptr, nullptr, "en_US.UTF-8", en},
      {nullptr, nullptr, nullptr, "de_DE@euro", en},
      {nullptr, nullptr, nullptr, "zhx", en},
      {nullptr, nullptr, "en_GB.UTF-8", "zh_CN.UTF-8", en},
      {nullptr, "zh_CN.UTF-8", "en_GB.UTF-8", "en_US.UTF-8", zh},
      {"en_US:zh_CN", "zh_CN.UTF-8", nullptr, nullptr, en},
      {"zh_CN:en", nullptr, nullptr, "en_US.UTF-8", zh},
      {"", "", "", "en_US.UTF-8", en},  // empty values are not set
      {":fr", nullptr, nullptr, "zh_CN.UTF-8", zh},
  };
  for (const Case& c : cases) {
    environment.clear();
    if (c.language) environment["LANGUAGE"] = c.language;
    if (c.lc_all) environment["LC_ALL"] = c.lc_all;
    if (c.lc_messages) environment["LC_MESSAGES"] = c.lc_messages;
    if (c.lang) environment["LANG"] = c.lang;
    EXPECT_EQ(LanguageFromEnvironment(Get), c.expected)
        << (c.language ? c.language : "-") << " " << (c.lc_all ? c.lc_all : "-") << " "
        << (c.lc_messages ? c.lc_messages : "-") << " " << (c.lang ? c.lang : "-");
  }
  EXPECT_EQ(LanguageNamed("en"), Language::kEnglish);
  EXPECT_EQ(LanguageNamed("zh"), Language::kChinese);
  EXPECT_EQ(LanguageNamed("EN"), std::nullopt);
}

std::string BuiltCatalogue() {
  std::ifstream in(VESK_CATALOGUE_PATH, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(Language, TextsComeFromTheCatalogueAndADamagedOneIsRefused) {
  const std::string bytes = BuiltCatalogue();
  ASSERT_GT(bytes.size(), 1000u);
  const Tr text("替换文件");
  ASSERT_TRUE(UseLanguage(Language::kChinese));
  // Every cut and a foreign file: refused, the texts stay Chinese.
  for (std::size_t cut : {std::size_t{0}, std::size_t{19}, std::size_t{100}, bytes.size() / 2, bytes.size() - 1}) {
    EXPECT_FALSE(UseLanguage(Language::kEnglish, std::string_view(bytes).substr(0, cut))) << cut;
  }
  EXPECT_FALSE(UseLanguage(Language::kEnglish, std::string(bytes.size(), 'x')));
  std::string offset_outside = bytes;
  offset_outside[15] = '\x7f';  // the table of message ids starts beyond the end
  EXPECT_FALSE(UseLanguage(Language::kEnglish, offset_outside));
  EXPECT_FALSE(UseLanguageFromFile(Language::kEnglish, "/nonexistent/vesk.mo"));
  EXPECT_EQ(ShownLanguage(), Language::kChinese);
  EXPECT_STREQ(text.c_str(), "替换文件");

  ASSERT_TRUE(UseLanguage(Language::kEnglish, bytes));
  EXPECT_EQ(text.str(), "Replace file");
  EXPECT_STREQ(Tr("no such message id").c_str(), "no such message id");
  EXPECT_EQ(Fill(Tr("{1} 文件已经存在,是否替换? 否 则取消。"), "a.txt"), "a.txt already exists. Replace it? No cancels.");
  ASSERT_TRUE(UseLanguage(Language::kChinese));
  EXPECT_EQ(text.str(), "替换文件");
}

TEST(Language, CountsTakeTheEnglishFormForTheirNumber) {
  const std::string bytes = BuiltCatalogue();
  const TrN files("，{1} 个文件夹", "，{1} 个文件夹");
  const TrN unknown("{1} one", "{1} other");
  struct Case {
    Language language;
    uint64_t n;
    const char* shown;
    const char* unknown_shown;
  } cases[] = {
      {Language::kEnglish, 0, ", 0 folders", "0 other"}, {Language::kEnglish, 1, ", 1 folder", "1 one"},
      {Language::kEnglish, 2, ", 2 folders", "2 other"}, {Language::kChinese, 1, "，1 个文件夹", "1 one"},
      {Language::kChinese, 5, "，5 个文件夹", "5 other"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(UseLanguage(c.language, bytes));
    EXPECT_EQ(FillN(files, c.n, c.n), c.shown);
    EXPECT_EQ(FillN(unknown, c.n, c.n), c.unknown_shown);  // not in the catalogue: the ids' own forms
  }
  ASSERT_TRUE(UseLanguage(Language::kChinese));
}

TEST(Language, PlaceholdersTakeTheArgumentsInAnyOrder) {
  ASSERT_TRUE(UseLanguage(Language::kChinese));
  EXPECT_EQ(Fill(Tr("{2} after {1}"), "a", "b"), "b after a");
  EXPECT_EQ(Fill(Tr("{1}{1}, {3} {x} {} {0}"), 7, "z"), "77, {3} {x} {} {0}");
  EXPECT_EQ(Fill(Tr("{1}"), std::string("{2}"), "b"), "{2}");  // an argument is not read as a pattern
  EXPECT_EQ(Fill(Tr("{1}"), int64_t{-5}), "-5");
}

}  // namespace
}  // namespace vesk
