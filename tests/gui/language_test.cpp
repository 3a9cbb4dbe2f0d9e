// The window in each language: every caption, hint and menu item English
// when English is shown, today's Chinese otherwise; the language item
// stores the other language for the next start.
#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QRegularExpression>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>

#include "gui/texts.h"
#include "platform/language.h"
#include "settings/language_setting.h"
#include "window_fixture.h"

namespace vesk::gui::testing {
namespace {

bool HasCjk(const QString& text) {
  for (const QChar c : text) {
    const ushort u = c.unicode();
    if ((u >= 0x3000 && u <= 0x9FFF) || (u >= 0xFF00 && u <= 0xFFEF)) return true;
  }
  return false;
}

// Every text the window shows of its own, with where it is.
std::vector<std::pair<QString, QString>> ShownTexts(QWidget& window) {
  std::vector<std::pair<QString, QString>> texts{{"title", window.windowTitle()}};
  for (QWidget* w : window.findChildren<QWidget*>()) {
    texts.push_back({w->objectName() + " hint", w->toolTip()});
    if (auto* b = qobject_cast<QAbstractButton*>(w)) texts.push_back({w->objectName(), b->text()});
    if (auto* l = qobject_cast<QLabel*>(w)) texts.push_back({w->objectName(), l->text()});
    if (auto* g = qobject_cast<QGroupBox*>(w)) texts.push_back({w->objectName(), g->title()});
  }
  for (QAction* a : window.findChildren<QAction*>()) texts.push_back({a->objectName(), a->text()});
  return texts;
}

class WindowLanguage : public WindowTest {
 protected:
  ~WindowLanguage() override {
    Close();
    UseLanguage(Language::kChinese);
  }
};

TEST_F(WindowLanguage, EnglishWindowShowsNoChinese) {
  ASSERT_TRUE(UseLanguageFromFile(Language::kEnglish, VESK_CATALOGUE_PATH));
  Open();
  for (const auto& [where, text] : ShownTexts(W())) EXPECT_FALSE(HasCjk(text)) << where.toStdString() << ": " << text.toStdString();
  EXPECT_EQ(W().windowTitle(), QString("Vesk File Encryption"));

  // The language item stores Chinese for the next start.
  QAction* item = W().MenuItem("LanguageItem");
  ASSERT_NE(item, nullptr);
  // An English caption marks its letter in a word.
  EXPECT_EQ(item->text(), QString("Use Chinese from &the next start"));
  item->trigger();
  EXPECT_EQ(settings::WindowLanguage(values, Language::kEnglish), Language::kChinese);
}

TEST_F(WindowLanguage, ChineseWindowIsAsBefore) {
  ASSERT_TRUE(UseLanguage(Language::kChinese));
  Open();
  EXPECT_EQ(W().windowTitle().toStdString(), "Vesk 文件加密");
  QAction* item = W().MenuItem("LanguageItem");
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->text().toStdString(), std::string(text::kUseEnglishItem.msgid()) + "(&T)");
  item->trigger();
  EXPECT_EQ(settings::WindowLanguage(values, Language::kChinese), Language::kEnglish);
}

// The English window opens the English help pages, and the Chinese page
// where no English one is installed; the English pages show Chinese only
// where they name a text that stays Chinese (marked lang="zh-CN").
TEST_F(WindowLanguage, EnglishWindowOpensTheEnglishPages) {
  ASSERT_TRUE(UseLanguageFromFile(Language::kEnglish, VESK_CATALOGUE_PATH));
  Open();
  const std::string site = dir.File("site");
  std::filesystem::create_directories(site + "/jmz");
  for (const char* page : {"/index.html", "/index-en.html", "/jmz/Help.htm", "/jmz/Help-en.htm", "/jmz/Index.htm"})
    WriteFile(site + page, "page");
  std::vector<QUrl> opened;
  session->Port().SetSiteFolder(site);
  session->Port().SetUrlOpener([&](const QUrl& url) {
    opened.push_back(url);
    return true;
  });
  for (const char* item : {"HelpItem", "CheckForUpdatesItem", "HomePageItem"}) W().MenuItem(item)->trigger();
  const auto page = [&](const char* path) { return QUrl::fromLocalFile(QString::fromStdString(site + path)); };
  EXPECT_EQ(opened, (std::vector<QUrl>{page("/jmz/Help-en.htm"), page("/jmz/Index.htm"), page("/index-en.html")}));

  for (const char* path : {"/index-en.html", "/jmz/Help-en.htm", "/jmz/Index-en.htm"}) {
    QString html = QString::fromStdString(ReadFile(std::string(VESK_SITE_DIR) + path));
    EXPECT_TRUE(html.contains("<html lang=\"en\">")) << path;
    html.remove(QRegularExpression(R"(<(\w+) lang="zh-CN">.*?</\1>)"));
    EXPECT_FALSE(HasCjk(html)) << path;
  }
}

}  // namespace
}  // namespace vesk::gui::testing
