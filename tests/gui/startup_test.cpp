// Start-up of the window: the command line, dropped files, the stored
// settings, the size cycle and the own-file reading, as the window shows them.
#include <elf.h>
#include <sys/stat.h>

#include <fstream>

#include <QAction>
#include <QCheckBox>
#include <QDropEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QRadioButton>
#include <QUrl>

#include "selfextract/elf_image.h"
#include "selfextract/layout.h"
#include "support/temp_dir.h"
#include "window_fixture.h"

namespace vesk::gui::testing {
namespace {

using vesk::testing::RandomBytes;

QColor WindowColour(MainWindow& w) { return w.palette().color(QPalette::Window); }

class Startup : public WindowTest {
 protected:
  int ClientHeight() { return W().height(); }
  void Drop(const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    // A drop follows a drag that entered the window.
    QDragEnterEvent enter(QPoint(100, 300), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&W(), &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(100, 300), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&W(), &drop);
  }
};

TEST_F(Startup, FirstStartShowsTheDesignedWindow) {
  Open();
  EXPECT_EQ(W().windowTitle().toStdString(), "Vesk 文件加密");
  EXPECT_EQ(W().width(), 442);
  EXPECT_EQ(ClientHeight(), 414);
  EXPECT_EQ(W().minimumSize(), W().maximumSize());  // not resizable
  EXPECT_TRUE(W().windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(W().windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(W().windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(WindowColour(W()), QColor(0xA6, 0xCA, 0xF0));
  EXPECT_EQ(W().font().pixelSize(), 11);
  EXPECT_TRUE(W().font().bold());
  EXPECT_EQ(W().EncryptButton->geometry(), QRect(45, 18, 99, 33));
  EXPECT_EQ(W().EncryptionKey->geometry(), QRect(16, 128, 201, 121));
  EXPECT_EQ(W().EncryptButton->toolTip().toStdString(), "选择任意文件进行加密处理，无密码就只压缩不加密");
  EXPECT_EQ(W().StatusLine->geometry(), QRect(0, 414 - kStatusBarHeight, 442, kStatusBarHeight));
  EXPECT_TRUE(W().StatusLine->Glyph->text().isEmpty());  // too narrow for text: it shows the icon
  EXPECT_FALSE(W().StatusLine->Glyph->pixmap().isNull());
  EXPECT_TRUE(W().RatioItem(2)->isChecked());
  EXPECT_EQ(Logic().RatioIndex(), 2);
  EXPECT_FALSE(W().KeyMasking->isChecked());
  EXPECT_EQ(W().ResizeButton->text().toStdString(), "<<<<<");
  // Nothing is stored until the user changes something.
  EXPECT_FALSE(values.Exists());

  // The popup menu has its items in order, every command usable.
  QStringList captions;
  for (QAction* a : W().PopupMenu->actions()) captions << (a->isSeparator() ? "-" : a->text());
  EXPECT_EQ(captions.join('|').toStdString(),
            "清空加解密钥编辑框的内容(&K)|清空剪贴板文本内容(粘贴密钥后用的)(&C)|-|加密文件夹(&F)…|粉碎文件(彻底删除文件，慎用)(&S)|-|"
            "生成身份密钥(&G)…|加密给接收者(公钥)(&R)…|选择解密用的身份密钥文件(&I)…|查看 age 文件信息(&E)…|-|"
            "注册关联jmz加密文件(&J)|快捷方式增加到文件右键菜单(&M)|-|清除本程序全部注册表项(&L)|-|帮助(&H)...|检查更新(&U)...|主页(&W)...|-|"
            "关于(&A)...|下次启动时使用英文界面(&T)");
  for (QAction* a : W().PopupMenu->actions()) {
    const bool built = !a->isSeparator();
    EXPECT_EQ(a->isEnabled(), built) << a->text().toStdString();
  }
  // The plain program carries no payload: it can create a self-decrypting
  // file, but has nothing to self-decrypt or separate.
  EXPECT_TRUE(W().CreateSelfDecryptingButton->isEnabled());
  EXPECT_FALSE(W().SelfDecryptButton->isEnabled());
  EXPECT_FALSE(W().SeparateButton->isEnabled());
}

TEST_F(Startup, SwitchesSetRatioMaskingAndStoreThem) {
  Open({"/YSL0", "/PBMY"});
  EXPECT_TRUE(W().RatioItem(0)->isChecked());
  EXPECT_EQ(Logic().RatioIndex(), 0);
  EXPECT_TRUE(W().KeyMasking->isChecked());
  EXPECT_EQ(StoredInteger(settings::kRatio), 0);
  EXPECT_EQ(StoredInteger(settings::kKeyMasking), 1);
  // Masked: the key boxes' text takes the background's colour.
  const QPalette p = W().EncryptionKey->palette();
  EXPECT_EQ(p.color(QPalette::Base), p.color(QPalette::Text));
  // The switches name no file.
  EXPECT_EQ(W().StatusText().rfind("  请先输入", 0), 0u);

  Open({"/ysl3"});  // restored 0 first, then the switch
  EXPECT_TRUE(W().RatioItem(3)->isChecked());
  EXPECT_EQ(StoredInteger(settings::kRatio), 3);
}

TEST_F(Startup, SizeSwitchesTakeOneStepWithoutStoring) {
  Open({">>>"});
  EXPECT_EQ(ClientHeight(), 315 - kFrameHeight);
  EXPECT_EQ(W().ResizeButton->text().toStdString(), ">>>");
  Open({">>>>"});
  EXPECT_EQ(ClientHeight(), 388 - kFrameHeight);
  EXPECT_EQ(W().ResizeButton->text().toStdString(), ">>>>");
  EXPECT_FALSE(StoredInteger(settings::kSizeState));
}

TEST_F(Startup, ColourSwitch) {
  const struct {
    const char* arg;
    QColor colour;
  } cases[] = {
      {"Color255", QColor(255, 0, 0)},
      {"color$FF0000", QColor(0, 0, 255)},
      {"COLOR$00ff00", QColor(0, 255, 0)},
      {"ColorXYZ", QColor(0xA6, 0xCA, 0xF0)},
      {"Color", QColor(0xA6, 0xCA, 0xF0)},
      {"Color99999999999", QColor(0xA6, 0xCA, 0xF0)},
      {"Color$FF00000F", QColor(0xD4, 0xD0, 0xC8)},  // system colour 15, the button face
  };
  for (const auto& c : cases) {
    Open({c.arg});
    EXPECT_EQ(WindowColour(W()), c.colour) << c.arg;
  }
  EXPECT_FALSE(StoredInteger(settings::kWindowColour));  // a switch is not a stored choice
}

TEST_F(Startup, APathInPiecesIsRebuiltShownAndPreselected) {
  const std::string path = dir.File("my file  with blanks.txt");
  WriteFile(path, "x");
  // An unquoted path arrives split at its blanks; two blanks give an empty piece.
  std::vector<std::string> pieces;
  std::string rest = path;
  for (std::size_t at; (at = rest.find(' ')) != std::string::npos; rest = rest.substr(at + 1)) {
    pieces.push_back(rest.substr(0, at));
  }
  pieces.push_back(rest);
  ASSERT_GE(pieces.size(), 4u);
  Open(pieces);
  EXPECT_EQ(W().StatusText(), path);
  EXPECT_EQ(W().StatusLine->Glyph->toolTip().toStdString(), path);

  dialogs.open_answers = {std::nullopt};
  Click(W().EncryptButton);  // cancelled at the open dialog
  ASSERT_EQ(dialogs.open_specs.size(), 1u);
  EXPECT_EQ(dialogs.open_specs[0].file_name, path);
  EXPECT_EQ(W().StatusText(), "加密文件已取消。");

  // Mixed with a switch the path names no file.
  std::vector<std::string> mixed = pieces;
  mixed.push_back("/pbmy");
  Open(mixed);
  EXPECT_NE(W().StatusText(), path);
  EXPECT_TRUE(W().KeyMasking->isChecked());
}

TEST_F(Startup, ADroppedFileIsPreselectedAndSeveralOrAFolderAreTakenByTheNextCommand) {
  Open();
  const std::string first = dir.File("first.txt");
  const std::string second = dir.File("second.txt");
  WriteFile(first, "1");
  WriteFile(second, "2");
  const std::string before = W().StatusText();

  // Nothing that exists: nothing changes.
  Drop({QUrl::fromLocalFile(QString::fromStdString(dir.File("missing.txt")))});
  EXPECT_EQ(W().StatusText(), before);
  EXPECT_TRUE(dialogs.presets.empty());
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);  // the hourglass is gone again

  // One file: shown, and preselected in the next open dialog.
  Drop({QUrl::fromLocalFile(QString::fromStdString(first))});
  EXPECT_EQ(W().StatusText(), first);
  EXPECT_EQ(W().StatusLine->Glyph->toolTip().toStdString(), first);
  EXPECT_EQ(dialogs.presets, std::vector<std::string>{first});
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

  dialogs.open_answers = {std::nullopt};  // cancelled at the open dialog
  Click(W().DecryptButton);
  ASSERT_EQ(dialogs.open_specs.size(), 1u);
  EXPECT_EQ(dialogs.open_specs[0].file_name, first);
  EXPECT_EQ(dialogs.open_specs[0].title, "选择要解密的文件进行解密");
  EXPECT_EQ(W().StatusText(), "解密文件已取消。");

  // Several, a folder among them: counted on the source line, and the next
  // file command takes them without asking.
  Drop({QUrl::fromLocalFile(QString::fromStdString(dir.path())), QUrl::fromLocalFile(QString::fromStdString(first)),
        QUrl::fromLocalFile(QString::fromStdString(second))});
  EXPECT_EQ(W().StatusText(), "共 3 个文件");
  EXPECT_EQ(W().StatusLine->Glyph->toolTip().toStdString(), "共 3 个文件");
  EXPECT_EQ(Logic().ChosenPaths(), (std::vector<std::string>{dir.path(), first, second}));
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(Startup, StoredSettingsAreRestored) {
  values.WriteInteger(settings::kRatio, 3);
  values.WriteInteger(settings::kWindowColour, 0x0000FF);   // red
  values.WriteInteger(settings::kBrandColour, 0x00FF00);    // lime
  values.WriteInteger(settings::kKeyMasking, 1);
  values.WriteInteger(settings::kSizeState, 1);
  Open();
  EXPECT_TRUE(W().RatioItem(3)->isChecked());
  EXPECT_EQ(Logic().RatioIndex(), 3);
  EXPECT_EQ(WindowColour(W()), QColor(255, 0, 0));
  EXPECT_EQ(W().BrandLabel->palette().color(QPalette::WindowText), QColor(0, 255, 0));
  EXPECT_TRUE(W().KeyMasking->isChecked());
  EXPECT_EQ(ClientHeight(), 388 - kFrameHeight);
  EXPECT_EQ(W().ResizeButton->text().toStdString(), "<<<<");
}

TEST_F(Startup, UserChoicesAreWrittenAndComeBack) {
  Open();
  Click(W().RatioItem(1));
  EXPECT_EQ(StoredInteger(settings::kRatio), 1);
  EXPECT_EQ(Logic().RatioIndex(), 1);
  Click(W().KeyMasking);
  EXPECT_EQ(StoredInteger(settings::kKeyMasking), 1);
  const QPalette masked = W().DecryptionKey->palette();
  EXPECT_EQ(masked.color(QPalette::Base), masked.color(QPalette::Text));
  Click(W().KeyMasking);
  EXPECT_EQ(StoredInteger(settings::kKeyMasking), 0);
  EXPECT_EQ(W().DecryptionKey->palette().color(QPalette::Base), QColor(Qt::white));
  EXPECT_EQ(W().DecryptionKey->palette().color(QPalette::Text), QColor(Qt::black));
  Click(W().KeyMasking);
  Click(W().ResizeButton);

  Open();
  EXPECT_TRUE(W().RatioItem(1)->isChecked());
  EXPECT_EQ(Logic().RatioIndex(), 1);
  EXPECT_TRUE(W().KeyMasking->isChecked());
  EXPECT_EQ(W().ResizeButton->text().toStdString(), "<<<<");
}

TEST_F(Startup, ValuesThatAreNoIntegersGiveTheDefaultsAndAreNotWrittenBack) {
  WriteSettingsText("zzll=three\nctbjc=255 red\nvkys=0x00ff00\npbmy=1.0\nctsf=\"1, 2\"\n");
  const std::string before = ReadFile(values.Path());
  Open();
  EXPECT_TRUE(W().RatioItem(2)->isChecked());
  EXPECT_EQ(WindowColour(W()), QColor(0xA6, 0xCA, 0xF0));
  EXPECT_EQ(W().BrandLabel->palette().color(QPalette::WindowText), QColor(0, 255, 255));
  EXPECT_FALSE(W().KeyMasking->isChecked());
  EXPECT_EQ(ClientHeight(), 414);
  EXPECT_EQ(ReadFile(values.Path()), before);
}

TEST_F(Startup, StoredSizeStatesRestoreAsTheCycleSays) {
  const struct {
    int stored;
    int height;
    const char* caption;
  } cases[] = {
      {0, 448, "<<<<<"}, {1, 388, "<<<<"}, {2, 315, ">>>"}, {3, 315, ">>>"},
      {4, 315, ">>>"},   {5, 388, ">>>>"}, {6, 448, "<<<<<"}, {-1, 448, "<<<<<"},
  };
  for (const auto& c : cases) {
    values.WriteInteger(settings::kSizeState, c.stored);
    Open();
    EXPECT_EQ(ClientHeight(), c.height - kFrameHeight) << c.stored;
    EXPECT_EQ(W().ResizeButton->text().toStdString(), c.caption) << c.stored;
    EXPECT_EQ(StoredInteger(settings::kSizeState), c.stored);  // restoring writes nothing
  }
}

TEST_F(Startup, SixClicksOnSfGoRoundTheCycleStoringEachState) {
  Open();
  const struct {
    int state;
    int height;
    const char* caption;
  } steps[] = {{1, 388, "<<<<"}, {2, 315, "<<<"}, {3, 156, ">>"}, {4, 315, ">>>"}, {5, 388, ">>>>"}, {0, 448, "<<<<<"}};
  for (const auto& s : steps) {
    Click(W().ResizeButton);
    EXPECT_EQ(ClientHeight(), s.height - kFrameHeight) << s.state;
    EXPECT_EQ(W().ResizeButton->text().toStdString(), s.caption);
    EXPECT_EQ(StoredInteger(settings::kSizeState), s.state);
    // The status bar stays at the bottom of what is shown.
    EXPECT_EQ(W().StatusLine->y(), ClientHeight() - kStatusBarHeight);
  }
}

TEST_F(Startup, TheKeylessItemsAppearAtTheTopOfTheMenuAndGoAgain) {
  Open();
  auto top = [&] {
    QStringList captions;
    for (QAction* a : W().PopupMenu->actions().mid(0, 3)) captions << (a->isSeparator() ? "-" : a->text());
    return captions.join('|').toStdString();
  };
  for (int i = 0; i < 5; ++i) Logic().RevealKeylessItems();
  EXPECT_EQ(top(), "清空加解密钥编辑框的内容(&K)|清空剪贴板文本内容(粘贴密钥后用的)(&C)|-");
  Logic().RevealKeylessItems();  // the sixth use
  EXPECT_EQ(top(), "创建不保存密钥的加密文件(&N)|解密不保存密钥的加密文件(&D)|-");
  EXPECT_TRUE(W().MenuItem("KeylessEncryptItem")->isEnabled());
  EXPECT_TRUE(W().MenuItem("KeylessDecryptItem")->isEnabled());
  for (int i = 0; i < 7; ++i) Logic().RevealKeylessItems();  // the thirteenth
  EXPECT_EQ(top(), "清空加解密钥编辑框的内容(&K)|清空剪贴板文本内容(粘贴密钥后用的)(&C)|-");
  EXPECT_EQ(W().PopupMenu->actions().size(), 22);
}

class OwnFile : public WindowTest {
 protected:
  static constexpr int64_t kImage = 4096;  // a small stand-in program image

  std::string Program(const std::string& header, std::size_t payload) {
    const std::string path = dir.File("program");
    WriteFile(path, RandomBytes(kImage, 1) + header + RandomBytes(payload, 2));
    return path;
  }
};

// A self-decrypting file started without a terminal hands itself over as
// `vesk --self-decrypt FILE`: its two commands ready, the key box waiting.
// Without a payload the greyed buttons say why.
TEST_F(OwnFile, StartedToSelfDecryptTheCommandsAreReadyAndGreyedOnesSayWhy) {
  const std::string why = "只有打开自解密文件 (.run) 时才能使用：双击自解密文件，或者 vesk --self-decrypt 文件.run";
  Open();
  EXPECT_EQ(W().SelfDecryptButton->toolTip().toStdString(), why);
  EXPECT_EQ(W().SeparateButton->toolTip().toStdString(), why);
  session->ApplyMenuRequest({MenuCommand::kSelfDecrypt, {dir.File("plain.txt")}});
  EXPECT_EQ(W().StatusText(), "“" + dir.File("plain.txt") + "” 不是自解密文件，没有附带加密的文件。");

  const std::string path = Program(selfextract::EncodePayloadHeader(60, "a.jmz"), 60);
  Open({}, WindowLogic::OwnFile{path, kImage});
  session->ApplyMenuRequest({MenuCommand::kSelfDecrypt, {path}});
  EXPECT_TRUE(W().SelfDecryptButton->isEnabled());
  EXPECT_EQ(W().SelfDecryptButton->toolTip().toStdString(), "解密自身包含的已加密文件");
  EXPECT_EQ(W().SeparateButton->toolTip().toStdString(), "加解密程序和自身包含的已加密文件分离");
  EXPECT_EQ(Logic().ReadyCommand(), Control::SelfDecryptButton);
  EXPECT_TRUE(W().SelfDecryptButton->isDefault());
  EXPECT_EQ(W().focusWidget(), W().DecryptionKey);
  EXPECT_EQ(W().StatusText(), "自解密文件：a.jmz  大小：60字节。 — 在右边的框输入解密的密钥后点 “自解密”，或点 “分离”。");
}

TEST_F(OwnFile, APayloadEnablesTheSelfDecryptCommandsAndIsDescribed) {
  const std::string path = Program(selfextract::EncodePayloadHeader(60, "a.jmz"), 60);
  Open({}, WindowLogic::OwnFile{path, kImage});
  EXPECT_TRUE(W().ControlEnabled(Control::SelfDecryptButton));
  EXPECT_TRUE(W().ControlEnabled(Control::SeparateButton));
  EXPECT_EQ(Logic().OwnPayload().PayloadSize, 60);
  EXPECT_EQ(Logic().OwnPayload().PayloadName, "a.jmz");
  EXPECT_EQ(Logic().OwnFileSize(), kImage + 259 + 60);
  const std::string text = "自解密文件：a.jmz  大小：60字节。";
  EXPECT_EQ(W().StatusText(), text);
  EXPECT_EQ(W().StatusLine->Glyph->toolTip().toStdString(), text);
  EXPECT_TRUE(dialogs.messages.empty());

  // A finished command keeps them enabled; a busy one disables them.
  Logic().SetCommandState(Operation::Encrypt, false);
  EXPECT_FALSE(W().ControlEnabled(Control::SelfDecryptButton));
  Logic().SetCommandState(Operation::Encrypt, true);
  EXPECT_TRUE(W().ControlEnabled(Control::SelfDecryptButton));
}

TEST_F(OwnFile, DamageIsReportedAndPlainOrMissingFilesDisableTheCommands) {
  Open({}, WindowLogic::OwnFile{Program(selfextract::EncodePayloadHeader(0, "b.jmz"), 70), kImage});
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].first, "自解密里的加密文件的大小(0字节)数据被破坏或者出错！");
  EXPECT_EQ(Logic().OwnPayload().PayloadSize, 70);
  EXPECT_TRUE(W().ControlEnabled(Control::SelfDecryptButton));

  dialogs.messages.clear();
  Open({}, WindowLogic::OwnFile{Program("", 300), kImage});  // shorter than image + header + 50
  EXPECT_FALSE(W().ControlEnabled(Control::SelfDecryptButton));
  EXPECT_FALSE(W().ControlEnabled(Control::SeparateButton));
  EXPECT_TRUE(dialogs.messages.empty());
  EXPECT_EQ(session->Port().Beeps(), 0);

  Open({}, WindowLogic::OwnFile{dir.File("no such program"), kImage});
  EXPECT_FALSE(W().ControlEnabled(Control::SelfDecryptButton));
  EXPECT_EQ(session->Port().Beeps(), 1);
  EXPECT_TRUE(W().ControlEnabled(Control::EncryptButton));  // the window opens all the same
}

TEST_F(OwnFile, TheRunningProgramIsMeasuredAsItsElfImage) {
  Open();  // reads this test program itself
  // Nothing is appended to it, so its image is the whole file, which ends
  // with the section header table its ELF header points to.
  struct stat st {};
  ASSERT_EQ(::stat("/proc/self/exe", &st), 0);
  Elf64_Ehdr elf{};
  std::ifstream("/proc/self/exe", std::ios::binary).read(reinterpret_cast<char*>(&elf), sizeof elf);
  ASSERT_EQ(std::string(reinterpret_cast<const char*>(elf.e_ident), 4), "\x7f" "ELF");
  EXPECT_EQ(static_cast<int64_t>(elf.e_shoff + uint64_t{elf.e_shnum} * elf.e_shentsize), st.st_size);
  EXPECT_EQ(Logic().ImageSize(), st.st_size);
  EXPECT_EQ(Logic().OwnFileSize(), st.st_size);
  EXPECT_FALSE(W().ControlEnabled(Control::SelfDecryptButton));
  EXPECT_EQ(session->Port().Beeps(), 0);
}

TEST_F(Startup, TheBodyDragsTheWindowWhereTheSystemCannot) {
  Open();
  const QPoint start = W().pos();
  const QPoint at(5, 400);  // on the status bar
  const QPoint global = W().mapToGlobal(at);
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), QPointF(global), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QCoreApplication::sendEvent(W().StatusLine->Glyph, &press);
  QMouseEvent move(QEvent::MouseMove, QPointF(at + QPoint(30, 20)), QPointF(global + QPoint(30, 20)), Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&W(), &move);
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), QPointF(global + QPoint(30, 20)), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&W(), &release);
  EXPECT_EQ(W().pos(), start + QPoint(30, 20));
}

}  // namespace
}  // namespace vesk::gui::testing
