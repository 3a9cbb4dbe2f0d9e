// The window's small commands through the Qt port: colour dialogs, the brand
// label, key-length hints, the popup items and the status bar.
#include <stdlib.h>
#include <sys/stat.h>

#include <deque>
#include <filesystem>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QProgressBar>

#include "gui/colours.h"
#include "gui/site.h"
#include "platform/file_io.h"
#include "window_fixture.h"

namespace vesk::gui::testing {
namespace {

// A file in folders that may not exist yet.
void WriteNested(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  WriteFile(path, text);
}

class SmallCommands : public WindowTest {
 protected:
  void DoubleClick(QWidget* w, QPoint at) { QTest::mouseDClick(w, Qt::LeftButton, Qt::NoModifier, at); }
  void Trigger(const char* item) {
    QAction* action = W().MenuItem(item);
    ASSERT_NE(action, nullptr);
    ASSERT_TRUE(action->isEnabled()) << item;
    action->trigger();
  }
  void MoveOver(QWidget* w) {
    const QPointF at(5, 5);
    QMouseEvent move(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &move);
  }
  QColor BrandColour() { return W().BrandLabel->palette().color(QPalette::WindowText); }
  std::string BrandCaption() { return W().BrandLabel->text().toStdString(); }
};

TEST_F(SmallCommands, ColourDialogsStoreTheCurrentColourEvenWhenCancelled) {
  Open();
  // The window's body: cancelled, the designed sky blue is stored.
  dialogs.colour_answers = {std::nullopt};
  DoubleClick(&W(), QPoint(5, 300));
  EXPECT_EQ(dialogs.colour_dialogs, 1);
  EXPECT_EQ(StoredInteger("ctbjc"), 0xF0CAA6);
  // The top panel: red is chosen, shown and stored as 0x00BBGGRR.
  dialogs.colour_answers = {QColor(255, 0, 0)};
  DoubleClick(W().TopPanel, QPoint(5, 5));
  EXPECT_EQ(W().palette().color(QPalette::Window), QColor(255, 0, 0));
  EXPECT_EQ(StoredInteger("ctbjc"), 0x0000FF);
  // The progress bar has no double-click of its own: the window's, cancelled.
  dialogs.colour_answers = {std::nullopt};
  DoubleClick(W().ProgressBar, QPoint(5, 5));
  EXPECT_EQ(dialogs.colour_dialogs, 2);

  // The brand label: cancelled stores aqua, then green is chosen.
  dialogs.colour_answers = {std::nullopt};
  DoubleClick(W().BrandLabel, QPoint(5, 5));
  EXPECT_EQ(StoredInteger("vkys"), 0xFFFF00);
  dialogs.colour_answers = {QColor(0, 128, 0)};
  DoubleClick(W().BrandLabel, QPoint(5, 5));
  EXPECT_EQ(BrandColour(), QColor(0, 128, 0));
  EXPECT_EQ(StoredInteger("vkys"), 0x008000);
  EXPECT_EQ(dialogs.colour_dialogs, 4);
  // A double-click is no click: the menu stays closed.
  QTest::qWait(QApplication::doubleClickInterval() + 100);
  EXPECT_FALSE(W().PopupMenu->isVisible());
}

TEST_F(SmallCommands, BrandLabelClickOpensTheMenuBelowIt) {
  Open();
  W().move(0, 0);  // room below for the whole menu on the small test screen
  Click(W().BrandLabel);
  ASSERT_TRUE(QTest::qWaitFor([&] { return W().PopupMenu->isVisible(); }, 3000));
  EXPECT_EQ(W().PopupMenu->pos(), W().frameGeometry().topLeft() + QPoint(255, 55));
  W().PopupMenu->close();
}

TEST_F(SmallCommands, BrandLabelTakesRandomColoursExceptTheHidingOnes) {
  Open();
  std::deque<uint32_t> draws = {
      0x0000FF,    // red: "UFO"
      0x123456,    // a colour; the caption stays
      0x000000,    // black is refused: caption back, colour kept
      0xFFFF00,    // aqua: "UFO"
      0xFF00FF,    // fuchsia is refused
      0x80FFFFF9,  // folds to system colour 6, refused
      0x80000000,  // folds to 0xFFFFFFFF, a system colour taken
  };
  Logic().SetBrandRandomSource([&] {
    const uint32_t r = draws.front();
    draws.pop_front();
    return r;
  });
  const auto move = [&] { MoveOver(W().BrandLabel); };
  move();
  EXPECT_EQ(BrandCaption(), "UFO");
  EXPECT_EQ(BrandColour(), QColor(255, 0, 0));
  move();
  EXPECT_EQ(BrandCaption(), "UFO");
  EXPECT_EQ(Logic().Settings().BrandColour, 0x123456u);
  move();
  EXPECT_EQ(BrandCaption(), "Vesk");
  EXPECT_EQ(Logic().Settings().BrandColour, 0x123456u);
  move();
  EXPECT_EQ(BrandCaption(), "UFO");
  move();
  EXPECT_EQ(BrandCaption(), "Vesk");
  EXPECT_EQ(Logic().Settings().BrandColour, 0xFFFF00u);
  move();
  move();
  EXPECT_EQ(BrandCaption(), "Vesk");
  EXPECT_EQ(Logic().Settings().BrandColour, 0xFFFFFFFFu);
  EXPECT_TRUE(draws.empty());
  // The effect is not a choice: nothing is stored.
  EXPECT_FALSE(StoredInteger("vkys"));
}

TEST_F(SmallCommands, KeyBoxHintsCountGbkBytesWithLineBreaksAsTwo) {
  Open();
  SetKey(W().EncryptionKey, "ab\nc");
  Click(W().EncryptionKey->viewport());
  EXPECT_EQ(W().EncryptionKey->toolTip().toStdString(), "密钥长度为:5字节");
  SetKey(W().DecryptionKey, "密钥");
  MoveOver(W().DecryptionKey->viewport());
  EXPECT_EQ(W().DecryptionKey->toolTip().toStdString(), "密钥长度为:4个字节");
}

TEST_F(SmallCommands, ClearingTheKeyBoxesAndTheClipboard) {
  Open();
  SetKey(W().EncryptionKey, "one");
  SetKey(W().DecryptionKey, "two");
  // A box a running command has disabled keeps the key it will still read.
  W().SetControlEnabled(Control::EncryptionKey, false);
  Trigger("ClearKeysItem");
  EXPECT_EQ(W().EncryptionKey->toPlainText(), "one");
  EXPECT_EQ(W().DecryptionKey->toPlainText(), "");
  W().SetControlEnabled(Control::EncryptionKey, true);
  Trigger("ClearKeysItem");
  EXPECT_EQ(W().EncryptionKey->toPlainText(), "");

  QClipboard* clipboard = QGuiApplication::clipboard();
  QImage picture(4, 4, QImage::Format_RGB32);
  picture.fill(Qt::red);
  clipboard->setImage(picture);
  Trigger("ClearClipboardItem");
  ASSERT_NE(clipboard->mimeData(), nullptr);
  EXPECT_TRUE(clipboard->mimeData()->hasImage());
  clipboard->setText("secret key");
  Trigger("ClearClipboardItem");
  EXPECT_TRUE(clipboard->text().isEmpty());
}

TEST_F(SmallCommands, InformationItemsOpenThePagesAndRevealTheKeylessItems) {
  Open();
  const std::string site = dir.File("site");
  WriteNested(dir.File("site/index.html"), "home");
  WriteNested(dir.File("site/jmz/Help.htm"), "help");
  WriteNested(dir.File("site/jmz/Index.htm"), "update");
  std::vector<QUrl> opened;
  session->Port().SetSiteFolder(site);
  session->Port().SetUrlOpener([&](const QUrl& url) {
    opened.push_back(url);
    return true;
  });
  const auto keyless_shown = [&] {
    const QList<QAction*> items = W().PopupMenu->actions();
    return items.size() == 25 && items[0] == W().MenuItem("KeylessEncryptItem") &&
           items[1] == W().MenuItem("KeylessDecryptItem") && items[2]->isSeparator();
  };

  Trigger("HelpItem");
  Trigger("CheckForUpdatesItem");
  // The update item opens the bundled page and says that nothing was
  // looked up on the network.
  EXPECT_EQ(W().StatusText(), "本程序不联网检查更新：打开的是随程序安装的本地网页，最新版本请到 Vesk 主页查看。");
  Trigger("AboutItem");
  Trigger("HelpItem");
  Trigger("CheckForUpdatesItem");
  Trigger("HomePageItem");  // does not count
  EXPECT_EQ(W().PopupMenu->actions().size(), 22);
  EXPECT_EQ(Logic().InfoClickCount(), 5);
  Trigger("AboutItem");  // the 6th use
  EXPECT_TRUE(keyless_shown());
  EXPECT_TRUE(W().MenuItem("KeylessEncryptItem")->isEnabled());

  ASSERT_GE(opened.size(), 3u);
  EXPECT_EQ(opened[0], QUrl::fromLocalFile(QString::fromStdString(site + "/jmz/Help.htm")));
  EXPECT_EQ(opened[1], QUrl::fromLocalFile(QString::fromStdString(site + "/jmz/Index.htm")));
  EXPECT_EQ(opened.back(), QUrl::fromLocalFile(QString::fromStdString(site + "/index.html")));
  ASSERT_EQ(dialogs.informations.size(), 2u);
  EXPECT_EQ(dialogs.informations[0].first,
            "Vesk 文件压缩加密程序 \r\n\r\n     作者: Vesk 开发组\r\n     2005-2026\r\n     版本:2.8.63");
  EXPECT_EQ(dialogs.informations[0].second, "Vesk 文件加密");

  for (int use = 7; use <= 12; ++use) Trigger("AboutItem");
  EXPECT_TRUE(keyless_shown());
  Trigger("AboutItem");  // the 13th
  EXPECT_EQ(W().PopupMenu->actions().size(), 22);
  EXPECT_EQ(Logic().InfoClickCount(), 0);
  for (int use = 1; use <= 6; ++use) Trigger("HelpItem");  // the 19th
  EXPECT_TRUE(keyless_shown());

  // Without the page nothing opens; a message names the file looked for,
  // and the use counts.
  const std::size_t count = opened.size();
  session->Port().SetSiteFolder(dir.File("no-site"));
  Trigger("CheckForUpdatesItem");
  EXPECT_EQ(opened.size(), count);
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].first, "无法打开网页，请用浏览器打开网页文件：\r\n" + dir.File("no-site/jmz/Index.htm"));
  EXPECT_EQ(Logic().InfoClickCount(), 7);

  // A page there that no browser takes: the same message with its file.
  session->Port().SetSiteFolder(site);
  session->Port().SetUrlOpener([](const QUrl&) { return false; });
  Trigger("HomePageItem");
  ASSERT_EQ(dialogs.messages.size(), 2u);
  EXPECT_EQ(dialogs.messages[1].first, "无法打开网页，请用浏览器打开网页文件：\r\n" + site + "/index.html");
}

TEST_F(SmallCommands, APageThatTheDesktopCannotOpenIsNamedOnceTheOpenerGivesUp) {
  Open();
  const std::string site = dir.File("site");
  WriteNested(dir.File("site/jmz/Help.htm"), "help");
  session->Port().SetSiteFolder(site);
  // An xdg-open that finds no browser, as on a desktop without one.
  const std::string bin = dir.File("bin");
  WriteNested(bin + "/xdg-open", "#!/bin/sh\necho \"$1\" > '" + dir.File("asked") + "'\nexit 3\n");
  ASSERT_EQ(chmod((bin + "/xdg-open").c_str(), 0755), 0);
  const std::string saved_path = getenv("PATH") != nullptr ? getenv("PATH") : "";
  setenv("PATH", (bin + ":" + saved_path).c_str(), 1);
  Trigger("HelpItem");
  setenv("PATH", saved_path.c_str(), 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.messages.empty(); }, 10000));
  EXPECT_EQ(dialogs.messages[0].first, "无法打开网页，请用浏览器打开网页文件：\r\n" + site + "/jmz/Help.htm");
  EXPECT_EQ(ReadFile(dir.File("asked")), "file://" + site + "/jmz/Help.htm\n");
  EXPECT_EQ(Logic().InfoClickCount(), 1);
}

TEST_F(SmallCommands, SoftKeyboardStartsTheFirstOneOnThePathOrSaysThereIsNone) {
  Open();
  const std::string saved_path = getenv("PATH") != nullptr ? getenv("PATH") : "";
  const std::string bin = dir.File("bin");
  ASSERT_EQ(mkdir(bin.c_str(), 0700), 0);
  setenv("PATH", bin.c_str(), 1);
  Click(W().SoftKeyboardButton);
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].first, "软键盘不存在，请使用输入法的软键盘。");

  const std::string marker = dir.File("started");
  WriteFile(bin + "/onboard", "#!/bin/sh\necho started > '" + marker + "'\n");
  ASSERT_EQ(chmod((bin + "/onboard").c_str(), 0700), 0);
  Click(W().SoftKeyboardButton);
  setenv("PATH", saved_path.c_str(), 1);
  EXPECT_TRUE(QTest::qWaitFor([&] { return FileExists(marker); }, 5000));
  EXPECT_EQ(dialogs.messages.size(), 1u);
}

TEST_F(SmallCommands, StatusBarDoubleClickShowsItsText) {
  Open();
  const std::string designed = "  请先输入(或者粘贴)加密或者解密的密钥,再进行加/解密文件的操作...";
  ASSERT_EQ(W().StatusText(), designed);
  DoubleClick(W().StatusLine->Text, QPoint(20, 5));
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].first, designed);
  EXPECT_EQ(dialogs.messages[0].second, "Vesk 文件加密 (当此窗体后置隐藏，请点另外程序窗体再点回此程序)");
  EXPECT_EQ(W().StatusText(), designed);

  // Any text the status line shows, not only the designed one.
  Logic().ShowStatus("加密文件已取消。");
  DoubleClick(W().StatusLine->Text, QPoint(20, 5));
  ASSERT_EQ(dialogs.messages.size(), 2u);
  EXPECT_EQ(dialogs.messages[1].first, "加密文件已取消。");
}

TEST(Site, TheInstalledFolderComesFirstAndPagesStayInside) {
  TempDir dir;
  WriteNested(dir.File("prefix/share/vesk/site/index.html"), "home");
  WriteNested(dir.File("source/jmz/Help.htm"), "help");
  EXPECT_EQ(FindSiteFolder(dir.File("prefix/bin"), dir.File("source")), dir.File("prefix/share/vesk/site"));
  EXPECT_EQ(FindSiteFolder(dir.File("build/src/gui"), dir.File("source")), dir.File("source"));
  EXPECT_EQ(SitePageUrl(dir.File("source"), "/jmz/Help.htm").toLocalFile().toStdString(),
            dir.File("source/jmz/Help.htm"));
  EXPECT_TRUE(SitePageUrl(dir.File("source"), "/").isEmpty());  // no index.html there
  EXPECT_TRUE(SitePageUrl(dir.File("source/jmz"), "/../jmz/Help.htm").isEmpty());
}

}  // namespace
}  // namespace vesk::gui::testing
