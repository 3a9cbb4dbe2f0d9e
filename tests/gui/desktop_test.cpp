// The window on a desktop: the popup items that register the program with
// the desktop and remove it again, Qt's dialogs in Chinese, and the mouse on
// the window's body (a press alone leaves the window where it is, so
// double-clicks arrive).
#include <stdlib.h>

#include <filesystem>

#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QRadioButton>
#include <QTranslator>

#include "desktop/shell_integration.h"
#include "gui/translations.h"
#include "window_fixture.h"

namespace vesk::gui::testing {
namespace {

namespace fs = std::filesystem;

class DesktopItems : public WindowTest {
 protected:
  void Trigger(const char* item) {
    QAction* action = W().MenuItem(item);
    ASSERT_NE(action, nullptr);
    ASSERT_TRUE(action->isEnabled()) << item;
    action->trigger();
  }
  TempDir home;
  shell::Locations at{home.File("data"), home.File("config")};
};

TEST_F(DesktopItems, RegisterBothThenRemoveEverythingWithTheSettings) {
  Open();
  Logic().SetShellFolders(at);
  Logic().SetShellDesktop(shell::Desktop{});
  // Unrelated old text in the status line is replaced by what each item did.
  Logic().ShowStatus("加密文件 ... 已完成。");
  Trigger("RegisterFileTypeItem");
  EXPECT_EQ(W().StatusText(), "已注册关联 .jmz 加密文件。");
  Trigger("ContextMenuItem");
  EXPECT_EQ(W().StatusText(),
            "已在右键菜单中增加 “用 Vesk 加密” 和 “用 Vesk 解密”: GNOME 文件、Thunar、Dolphin、Nemo、Caja。 注意: "
            "GNOME 文件: 没有安装 python3-nautilus, 只能放入“脚本”子菜单 (安装 python3-nautilus 后再增加一次即为顶层菜单项); "
            "Caja: 没有安装 python3-caja, 只能放入“脚本”子菜单 (安装 python3-caja 后再增加一次即为顶层菜单项)。");
  // The entries start the running program (here the test program).
  const std::string exec = ReadFile(at.AssociationEntry());
  EXPECT_NE(exec.find("Exec=\"" + fs::read_symlink("/proc/self/exe").string() + "\" %f"), std::string::npos);
  for (const std::string& path : {at.MimePackage(), at.TypeIcon(), at.MimeAppsList(), at.DolphinMenu(),
                                  at.NautilusScript(), at.NemoAction(), at.CajaScript()}) {
    EXPECT_TRUE(fs::exists(path)) << path;
  }
  Click(W().RatioItem(0));
  ASSERT_TRUE(values.Exists());

  Trigger("UnregisterItem");
  for (const std::string& path : {at.MimePackage(), at.TypeIcon(), at.MimeAppsList(), at.AssociationEntry(),
                                  at.DolphinMenu(), at.NautilusScript(), at.NemoAction(), at.CajaScript()}) {
    EXPECT_FALSE(fs::exists(path)) << path;
  }
  EXPECT_FALSE(fs::exists(at.data_home));
  EXPECT_FALSE(fs::exists(at.config_home));
  EXPECT_FALSE(values.Exists());
  EXPECT_FALSE(fs::exists(fs::path(values.Path()).parent_path()));
  EXPECT_EQ(W().StatusText(), "已清除本程序的全部注册项和设置。");
  // All three say what they did in the status line, without a box.
  EXPECT_EQ(session->Port().Beeps(), 0);
  EXPECT_TRUE(dialogs.messages.empty());

  // The next start finds no settings and uses the designed ones.
  Open();
  EXPECT_TRUE(W().RatioItem(2)->isChecked());
  EXPECT_FALSE(values.Exists());
}

TEST_F(DesktopItems, FailuresBeepAndSayWhatCouldNotBeDoneAndWhy) {
  Open();
  Logic().SetShellDesktop(shell::Desktop{true, true, ""});
  WriteFile(home.File("blocker"), "");
  Logic().SetShellFolders(shell::Locations{home.File("blocker/data"), home.File("blocker/config")});
  Trigger("RegisterFileTypeItem");
  EXPECT_EQ(session->Port().Beeps(), 1);
  EXPECT_EQ(W().StatusText().rfind("未能注册关联 .jmz 加密文件: 文件类型 .jmz: 出错: " + home.File("blocker"), 0), 0u)
      << W().StatusText();
  Trigger("ContextMenuItem");
  EXPECT_EQ(session->Port().Beeps(), 2);
  EXPECT_EQ(W().StatusText().rfind("未能在右键菜单中增加本程序: 菜单项的图标: 出错: ", 0), 0u) << W().StatusText();
  // Nothing to remove is no failure.
  Logic().SetShellFolders(at);
  Trigger("UnregisterItem");
  EXPECT_EQ(session->Port().Beeps(), 2);
  EXPECT_EQ(W().StatusText(), "已清除本程序的全部注册项和设置。");

  // A file of the user's own where ours would go: that file manager is
  // left out, and the status line names the file.
  fs::create_directories(fs::path(at.NemoAction()).parent_path());
  WriteFile(at.NemoAction(), "[Nemo Action]\nName=Mine\n");
  Trigger("ContextMenuItem");
  EXPECT_EQ(session->Port().Beeps(), 3);
  EXPECT_EQ(W().StatusText(), "右键菜单项只增加到了 GNOME 文件、Thunar、Dolphin、Caja; 未完成: Nemo: 这里已有不是本程序写的文件, 没有覆盖 (" +
                                  at.NemoAction() + ")。");
  EXPECT_EQ(ReadFile(at.NemoAction()), "[Nemo Action]\nName=Mine\n");

  // The program is gone (an upgrade removed it while the window was open):
  // nothing is registered for a path that starts nothing.
  Logic().SetShellProgram(home.File("gone/vesk"));
  Trigger("RegisterFileTypeItem");
  EXPECT_EQ(session->Port().Beeps(), 4);
  EXPECT_EQ(W().StatusText(), "未能注册关联 .jmz 加密文件: 程序: 出错: 没有可执行的程序: " + home.File("gone/vesk") + "。");
  EXPECT_FALSE(fs::exists(at.AssociationEntry()));
  EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(DesktopItems, APressAloneLeavesTheWindowSoDoubleClicksArrive) {
  Open();
  const QPoint start = W().pos();
  QWidget* panel = W().StatusLine->Text;
  const QPoint at(40, 5);
  const QPoint global = panel->mapToGlobal(at);
  // A press and a small shake of the hand, within the drag distance.
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), QPointF(global), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QCoreApplication::sendEvent(panel, &press);
  QMouseEvent shake(QEvent::MouseMove, QPointF(at + QPoint(1, 1)), QPointF(global + QPoint(1, 1)), Qt::NoButton,
                    Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(panel, &shake);
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), QPointF(global), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QCoreApplication::sendEvent(panel, &release);
  EXPECT_EQ(W().pos(), start);

  QTest::mouseDClick(panel, Qt::LeftButton, Qt::NoModifier, at);
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].first, "  请先输入(或者粘贴)加密或者解密的密钥,再进行加/解密文件的操作...");
  dialogs.colour_answers = {std::nullopt};  // cancelled
  QTest::mouseDClick(W().TopPanel, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
  EXPECT_EQ(dialogs.colour_dialogs, 1);
  EXPECT_EQ(W().pos(), start);
}

TEST(Translations, StandardDialogsSpeakChinese) {
  if (!fs::exists(QtChineseCatalogue().toStdString())) {
    GTEST_SKIP() << "Qt's Chinese catalogue is not installed (qt6-translations-l10n, scripts/setup.sh)";
  }
  EXPECT_FALSE(InstallChineseTranslations(*qApp, "/nonexistent"));
  ASSERT_TRUE(InstallChineseTranslations(*qApp));
  QMessageBox box(QMessageBox::Question, "t", "q", QMessageBox::Yes | QMessageBox::No);
  const QString yes = box.button(QMessageBox::Yes)->text();
  const QString no = box.button(QMessageBox::No)->text();
  EXPECT_TRUE(yes.contains(QString::fromUtf8("是"))) << yes.toStdString();
  EXPECT_TRUE(no.contains(QString::fromUtf8("否"))) << no.toStdString();
  for (QTranslator* t : qApp->findChildren<QTranslator*>()) {
    QCoreApplication::removeTranslator(t);
    delete t;
  }
}

}  // namespace
}  // namespace vesk::gui::testing
