// The strong format on the real widgets: the format choice under the ratio
// group, the strength meter, the key boxes' labels, and the popup items.
#include <QAction>
#include <QButtonGroup>
#include <QClipboard>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QRadioButton>

#include <sys/stat.h>

#include "platform/file_io.h"
#include "window_fixture.h"

namespace vesk::gui::testing {
namespace {

using AgeWindow = WindowTest;

TEST_F(AgeWindow, TheFormatChoiceGreysTheRatioGroupRelabelsTheBoxesAndIsStored) {
  Open();
  // The compatible format is the default, and nothing is stored for it.
  EXPECT_TRUE(W().FormatItem(0)->isChecked());
  EXPECT_EQ(W().FormatItem(0)->text().toStdString(), "兼容 .jmz");
  EXPECT_EQ(W().FormatItem(1)->text().toStdString(), ".age 强加密");
  EXPECT_TRUE(W().RatioGroup->isEnabled());
  EXPECT_FALSE(W().KeyStrength->isVisible());
  EXPECT_FALSE(StoredInteger(settings::kFormat).has_value());
  // Every control sits inside the window, clear of its neighbours.
  for (QWidget* w : {static_cast<QWidget*>(W().FormatLabel), static_cast<QWidget*>(W().FormatItem(0)),
                     static_cast<QWidget*>(W().FormatItem(1))}) {
    EXPECT_GE(w->geometry().top(), W().RatioGroup->geometry().bottom()) << w->objectName().toStdString();
    EXPECT_LT(w->geometry().bottom(), W().CreateSelfDecryptingButton->geometry().top()) << w->objectName().toStdString();
  }
  EXPECT_GT(W().KeyStrength->geometry().top(), W().EncryptionKey->geometry().bottom());
  EXPECT_LT(W().KeyStrength->geometry().bottom(), W().RatioGroup->geometry().top());

  Click(W().FormatItem(1));
  EXPECT_TRUE(Logic().AgeFormatChosen());
  EXPECT_EQ(StoredInteger(settings::kFormat), 1);
  EXPECT_FALSE(W().RatioGroup->isEnabled());
  EXPECT_EQ(W().EncryptionKeyLabel->text().toStdString(), "请先输入加密的密码：");
  EXPECT_EQ(W().DecryptionKeyLabel->text().toStdString(), "确认密码，或解密的密钥：");
  EXPECT_LE(W().DecryptionKeyLabel->geometry().right(), W().width());
  // The meter follows the typing.
  EXPECT_TRUE(W().KeyStrength->isVisible());
  EXPECT_TRUE(W().KeyStrength->text().contains(QString::fromUtf8("还没有输入密码")));
  SetKey(W().EncryptionKey, "password");
  EXPECT_TRUE(W().KeyStrength->text().contains(QString::fromUtf8("很弱")));
  SetKey(W().EncryptionKey, "q7#Lm9$vX2!pR4&tZ8@w");
  EXPECT_TRUE(W().KeyStrength->text().contains(QString::fromUtf8("很强")));

  // A restart shows the stored choice; going back to .jmz hides the meter.
  Open();
  EXPECT_TRUE(W().FormatItem(1)->isChecked());
  EXPECT_FALSE(W().RatioGroup->isEnabled());
  EXPECT_TRUE(W().KeyStrength->isVisible());
  Click(W().FormatItem(0));
  EXPECT_EQ(StoredInteger(settings::kFormat), 0);
  EXPECT_TRUE(W().RatioGroup->isEnabled());
  EXPECT_FALSE(W().KeyStrength->isVisible());
  EXPECT_EQ(W().EncryptionKeyLabel->text().toStdString(), "请先输入加密的密钥：");
}

TEST_F(AgeWindow, TheEncryptButtonWritesAnAgeFileThatTheDecryptButtonOpens) {
  Open();
  Click(W().FormatItem(1));
  const std::string plain = vesk::testing::RandomBytes(200000, 9);
  WriteFile(dir.File("a.bin"), plain);
  Logic().SetAgeWorkFactor(10);
  SetKey(W().EncryptionKey, "窗口 passphrase");
  SetKey(W().DecryptionKey, "窗口 passphrase");
  dialogs.open_answers = {dir.File("a.bin")};
  dialogs.save_answers = {dir.File("a.bin.age")};
  Click(W().EncryptButton);
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(W().StatusText(), "age 强加密文件 ... 已完成。 — " + dir.File("a.bin.age"));
  EXPECT_EQ(dialogs.save_specs.back().file_name, dir.File("a.bin.age"));
  ASSERT_TRUE(FileExists(dir.File("a.bin.age")));

  dialogs.open_answers = {dir.File("a.bin.age")};
  dialogs.save_answers = {dir.File("b.bin")};
  Click(W().DecryptButton);
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(W().StatusText(), "age 解密文件 ... 已完成。 — " + dir.File("b.bin"));
  EXPECT_TRUE(ReadFile(dir.File("b.bin")) == plain);
  EXPECT_TRUE(dialogs.messages.empty());
  EXPECT_TRUE(dialogs.all_on_gui_thread);
}

TEST_F(AgeWindow, ThePopupItemsMakeAnIdentityAndChooseIt) {
  Open();
  for (const char* name : {"GenerateIdentityItem", "EncryptToRecipientsItem", "ChooseIdentitiesItem"}) {
    ASSERT_NE(W().MenuItem(name), nullptr) << name;
    EXPECT_TRUE(W().MenuItem(name)->isEnabled()) << name;
  }
  EXPECT_EQ(W().MenuItem("GenerateIdentityItem")->text().toStdString(), "生成身份密钥(&G)…");
  dialogs.save_answers = {dir.File("me.txt")};
  W().MenuItem("GenerateIdentityItem")->trigger();
  struct stat st {};
  ASSERT_EQ(::stat(dir.File("me.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_EQ(dialogs.informations.size(), 1u);
  const std::string key = QGuiApplication::clipboard()->text().toStdString();
  EXPECT_EQ(key.rfind("age1", 0), 0u);
  EXPECT_NE(dialogs.informations[0].first.find(key), std::string::npos);
  EXPECT_EQ(Logic().AgeIdentityFiles(), std::vector<std::string>{dir.File("me.txt")});

  // Without a recipients dialog answer nothing happens.
  W().MenuItem("EncryptToRecipientsItem")->trigger();
  EXPECT_TRUE(dialogs.open_specs.empty());
  // The identity chooser takes the file the dialog gives.
  dialogs.open_answers = {dir.File("me.txt")};
  Logic().SetAgeIdentityFiles({});
  W().MenuItem("ChooseIdentitiesItem")->trigger();
  EXPECT_EQ(Logic().AgeIdentityFiles(), std::vector<std::string>{dir.File("me.txt")});
  EXPECT_EQ(W().StatusText(), "已选择 1 个身份密钥文件：解密用公钥加密的 age 文件时使用。");
}

}  // namespace
}  // namespace vesk::gui::testing
