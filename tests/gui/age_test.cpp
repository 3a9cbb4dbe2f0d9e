// The strong format on the real widgets: the format choice under the ratio
// group, the strength meter, the key boxes' labels, and the popup items.
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <sys/stat.h>

#include "app/texts.h"
#include "gui/key_box.h"
#include "gui/qt_dialog_provider.h"
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
  EXPECT_EQ(key.rfind("age1pq1", 0), 0u);  // post-quantum unless chosen otherwise
  EXPECT_NE(dialogs.informations[0].first.find(key.substr(0, 24) + "…" + key.substr(key.size() - 12)), std::string::npos);
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

// A key box takes a paste whole or not at all: never cut at the limit, and
// with the strong format never a line break.
TEST_F(AgeWindow, TheKeyBoxesRefusePastesTheyCannotHoldWhole) {
  Open();
  const QString full(1028, 'k'), over(1029, 'k');
  const QString two_lines = QString(513, 'k') + "\n" + QString(513, 'k');  // 1028 with the break counted twice
  struct Row {
    int format;
    QString pasted;
    const char* message;  // null: taken
  };
  const Row rows[] = {
      {1, "pass\nword", "粘贴的文本里有换行符"}, {1, "passphrase\r\n", "粘贴的文本里有换行符"},
      {1, QString("a") + QChar(0x2029) + "b", "粘贴的文本里有换行符"}, {0, "two\nlines", nullptr},
      {0, over, "密钥太长: 最多 1028 个字符 (一个换行算两个)。"}, {1, over, "密钥太长: 最多 1028 个字符"},
      {0, full, nullptr}, {0, two_lines, nullptr}, {0, two_lines + "k", "密钥太长"},
  };
  for (KeyBox* box : {W().EncryptionKey, W().DecryptionKey}) {
    for (const Row& row : rows) {
      SCOPED_TRACE(row.pasted.left(12).toStdString());
      Click(W().FormatItem(row.format));
      box->clear();
      dialogs.messages.clear();
      QGuiApplication::clipboard()->setText(row.pasted);
      box->paste();
      EXPECT_EQ(box->toPlainText(), row.message == nullptr ? row.pasted : QString());
      if (row.message == nullptr) {
        EXPECT_TRUE(dialogs.messages.empty());
      } else {
        ASSERT_EQ(dialogs.messages.size(), 1u);
        EXPECT_EQ(dialogs.messages[0].first.rfind(row.message, 0), 0u) << dialogs.messages[0].first;
      }
    }
  }
  // A paste that replaces a selection is measured without it.
  Click(W().FormatItem(0));
  W().EncryptionKey->setPlainText(full);
  W().EncryptionKey->selectAll();
  QGuiApplication::clipboard()->setText("short");
  W().EncryptionKey->paste();
  EXPECT_EQ(W().EncryptionKey->toPlainText(), "short");
}

TEST_F(AgeWindow, EnterInTheStrongFormatsBoxesMovesOnInsteadOfBreakingTheLine) {
  Open();
  W().activateWindow();
  for (const int format : {0, 1}) {
    SCOPED_TRACE(format);
    Click(W().FormatItem(format));
    SetKey(W().EncryptionKey, "");
    W().EncryptionKey->setFocus();
    QTest::keyClick(W().EncryptionKey, Qt::Key_Return);
    EXPECT_EQ(W().EncryptionKey->toPlainText(), format == 1 ? "" : "\n");
    EXPECT_EQ(W().focusWidget() == W().DecryptionKey, format == 1);
  }
  // Enter in the confirmation box encrypts, or decrypts while the
  // passphrase box is empty.
  for (const auto& [passphrase, title] : {std::pair{"k7#Vq!x9-pLm2", "选择要加密的文件进行 age 强加密"},
                                          std::pair{"", "选择要解密的文件进行解密"}}) {
    SetKey(W().EncryptionKey, passphrase);
    SetKey(W().DecryptionKey, "k7#Vq!x9-pLm2");
    dialogs.open_answers = {std::nullopt};
    QTest::keyClick(W().DecryptionKey, Qt::Key_Enter);
    ASSERT_FALSE(dialogs.open_specs.empty());
    EXPECT_EQ(dialogs.open_specs.back().title, title);
    EXPECT_EQ(W().DecryptionKey->toPlainText(), "k7#Vq!x9-pLm2");
  }
}

TEST_F(AgeWindow, TheKeyBoxMenuGeneratesAPassphraseOnlyForTheStrongFormat) {
  Open();
  auto generate_item = [this]() -> QAction* {
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(4, 4), W().EncryptionKey->mapToGlobal(QPoint(4, 4)));
    QApplication::sendEvent(W().EncryptionKey->viewport(), &event);
    QAction* found = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* menu = qobject_cast<QMenu*>(w);
      if (menu == nullptr || !menu->isVisible()) continue;
      found = menu->findChild<QAction*>("GeneratePassphraseItem");
      menu->close();
    }
    return found;
  };
  EXPECT_EQ(generate_item(), nullptr);
  Click(W().FormatItem(1));
  QAction* item = generate_item();
  ASSERT_NE(item, nullptr);
  item->trigger();
  const QString phrase = W().EncryptionKey->toPlainText();
  EXPECT_EQ(phrase.size(), 41);
  EXPECT_EQ(W().DecryptionKey->toPlainText(), phrase);
  EXPECT_TRUE(W().KeyStrength->text().contains(QString::fromUtf8("很强")));
  // The same from the keyboard, where the Menu key opens the window's menu.
  W().EncryptionKey->clear();
  QKeyEvent ctrl_g(QEvent::KeyPress, Qt::Key_G, Qt::ControlModifier);
  QApplication::sendEvent(W().EncryptionKey, &ctrl_g);
  EXPECT_EQ(W().EncryptionKey->toPlainText().size(), 41);
}

TEST_F(AgeWindow, TheMaskingHelpSaysWhatTheBoxesShow) {
  Open({"/pbmy"});
  const std::string help = vesk::text::kWindowHelp;
  const std::string line = help.substr(help.find("  /pbmy"), help.find('\n', help.find("  /pbmy")) - help.find("  /pbmy"));
  EXPECT_EQ(line.find('*'), std::string::npos) << line;
  EXPECT_NE(line.find("同色"), std::string::npos) << line;
  const QPalette p = W().EncryptionKey->palette();
  EXPECT_EQ(p.color(QPalette::Active, QPalette::Base), p.color(QPalette::Active, QPalette::Text));
}

// The real dialogs: the weak-passphrase question defaults to No, the key
// generator to a post-quantum key, and its passphrase must be typed twice alike.
TEST(AgeDialogs, TheRealDialogsDefaultToTheSafeChoice) {
  QtDialogProvider real;
  QTimer::singleShot(0, [] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
    QTest::keyClick(box, Qt::Key_Return);
  });
  EXPECT_FALSE(real.CautiousQuestion(nullptr, "weak?", "caption"));

  struct Row {
    bool classic, protect;
    const char *first, *second;
    bool ok_enabled;
  };
  for (const Row& row : {Row{false, false, "", "", true}, Row{true, false, "", "", true}, Row{false, true, "", "", false},
                         Row{false, true, "one", "two", false}, Row{true, true, "same", "same", true}}) {
    QTimer::singleShot(0, [row] {
      QWidget* dialog = QApplication::activeModalWidget();
      ASSERT_NE(dialog, nullptr);
      EXPECT_TRUE(dialog->findChild<QRadioButton*>("IdentityPostQuantum")->isChecked());
      if (row.classic) dialog->findChild<QRadioButton*>("IdentityClassic")->setChecked(true);
      dialog->findChild<QCheckBox*>("IdentityProtect")->setChecked(row.protect);
      dialog->findChild<QLineEdit*>("IdentityPassphrase")->setText(row.first);
      dialog->findChild<QLineEdit*>("IdentityPassphraseAgain")->setText(row.second);
      QPushButton* ok = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
      EXPECT_EQ(ok->isEnabled(), row.ok_enabled);
      if (row.ok_enabled) {
        ok->click();
      } else {
        static_cast<QDialog*>(dialog)->reject();
      }
    });
    const auto options = real.IdentityOptions(nullptr);
    ASSERT_EQ(options.has_value(), row.ok_enabled);
    if (options) {
      EXPECT_EQ(options->post_quantum, !row.classic);
      EXPECT_EQ(options->passphrase.str(), row.protect ? row.first : "");
    }
  }

  // A secret line is typed unseen.
  QTimer::singleShot(0, [] {
    auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->textEchoMode(), QLineEdit::Password);
    dialog->setTextValue("1234");
    dialog->accept();
  });
  EXPECT_EQ(real.AskText(nullptr, "PIN:", true), "1234");
}

}  // namespace
}  // namespace vesk::gui::testing
