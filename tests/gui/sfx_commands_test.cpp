// Create, self-decrypt and separate driven through the window: clicks on
// CreateSelfDecryptingButton, SelfDecryptButton and SeparateButton, scripted dialogs, the Qt port carrying the
// workers' calls.
#include <QProgressBar>
#include <QPushButton>

#include "crypto/keyed/container_fixture.h"
#include "platform/file_io.h"
#include "selfextract/layout.h"
#include "window_fixture.h"

namespace vesk::gui::testing {
namespace {

using keyed::fixture::MakeContainer;
using keyed::fixture::Recipe;
using vesk::testing::RandomBytes;

constexpr int64_t kImage = 4096;  // a small stand-in program image

class SfxCommands : public WindowTest {
 protected:
  std::string Caption(Control c) { return W().ControlCaption(c); }
  bool WaitFor(Control busy) {
    return QTest::qWaitFor([&] { return Logic().Tag(busy) == 0 && RunningWorkers() == 0; },
                           20000);
  }
  // Opens the window as a self-decrypting file carrying `container`.
  void OpenCarrying(const std::string& container, const std::string& name) {
    WriteFile(program_, image_ + selfextract::EncodePayloadHeader(static_cast<int64_t>(container.size()), name) +
                            container);
    Open({}, WindowLogic::OwnFile{program_, kImage});
  }
  // Clicks `button` again at the first move of the bar, as a user cancelling.
  void CancelOnFirstMove(QPushButton* button) {
    QObject::connect(W().ProgressBar, &QProgressBar::valueChanged, W().ProgressBar, [this, button](int value) {
      if (value > 0 && !cancelled_) {
        cancelled_ = true;
        Click(button);
      }
    });
  }

  const std::string image_ = RandomBytes(kImage, 1);
  const std::string program_ = dir.File("program");
  bool cancelled_ = false;
};

TEST_F(SfxCommands, CreateTurnsItsButtonIntoCancelAndWritesTheExecutable) {
  WriteFile(program_, image_);
  Open({}, WindowLogic::OwnFile{program_, kImage});
  Logic().SetSfxProgram({program_, kImage});  // the stand-in program part
  EXPECT_TRUE(W().CreateSelfDecryptingButton->isEnabled());
  EXPECT_FALSE(W().SelfDecryptButton->isEnabled());  // a plain program carries nothing
  EXPECT_FALSE(W().SeparateButton->isEnabled());

  const std::string container = MakeContainer(Recipe{}, RandomBytes(100000, 2));
  WriteFile(dir.File("a.jmz"), container);
  dialogs.open_answers = {dir.File("a.jmz")};
  dialogs.save_answers = {dir.File("a")};
  Click(W().CreateSelfDecryptingButton);
  EXPECT_EQ(Caption(Control::CreateSelfDecryptingButton), "取消创建");
  EXPECT_TRUE(W().CreateSelfDecryptingButton->isEnabled());
  EXPECT_FALSE(W().EncryptButton->isEnabled());
  ASSERT_TRUE(WaitFor(Control::CreateSelfDecryptingButton));
  EXPECT_EQ(Caption(Control::CreateSelfDecryptingButton), "创建自解密");
  EXPECT_TRUE(W().EncryptButton->isEnabled());
  EXPECT_EQ(dialogs.open_specs[0].title, "选择已加密文件创建自解密文件");
  EXPECT_EQ(dialogs.save_specs[0].title, "创建自解密后的文件保存为");
  EXPECT_EQ(W().StatusText(), "创建自解密文件已完成。（" + dir.File("a.run") + "）");
  EXPECT_EQ(ReadFile(dir.File("a.run")),
            image_ + selfextract::EncodePayloadHeader(static_cast<int64_t>(container.size()), "a.jmz") + container);
  EXPECT_EQ(W().ProgressBar->value(), W().ProgressBar->maximum());
  EXPECT_TRUE(dialogs.messages.empty());
  EXPECT_TRUE(dialogs.all_on_gui_thread);

  // A plain file is refused with a message box.
  WriteFile(dir.File("p.txt"), "plain text");
  dialogs.open_answers = {dir.File("p.txt")};
  Click(W().CreateSelfDecryptingButton);
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].first, "文件未经此软件加密或者是另外(不保存密钥)加密的，不能创建自解密文件!");
  EXPECT_EQ(dialogs.save_specs.size(), 1u);
}

TEST_F(SfxCommands, CancellingCreateAsksAndLeavesNoFile) {
  WriteFile(program_, image_);
  Open({}, WindowLogic::OwnFile{program_, kImage});
  Logic().SetSfxProgram({program_, kImage});  // the stand-in program part
  WriteFile(dir.File("big.jmz"), MakeContainer(Recipe{}, RandomBytes(4 << 20, 3)));
  dialogs.open_answers = {dir.File("big.jmz")};
  dialogs.save_answers = {dir.File("big.run")};
  dialogs.question_answers = {true};
  CancelOnFirstMove(W().CreateSelfDecryptingButton);
  Click(W().CreateSelfDecryptingButton);
  ASSERT_TRUE(WaitFor(Control::CreateSelfDecryptingButton));
  ASSERT_TRUE(cancelled_);
  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_EQ(dialogs.questions[0].first, "真的要取消：“" + dir.File("big.jmz") + "”创建自解密文件吗?");
  EXPECT_EQ(dialogs.questions[0].second, "取消创建");
  EXPECT_FALSE(PathExists(dir.File("big.run")));
  EXPECT_EQ(W().StatusText(), "创建自解密文件已取消。");
  EXPECT_EQ(Caption(Control::CreateSelfDecryptingButton), "创建自解密");
}

TEST_F(SfxCommands, ASelfDecryptingWindowDecryptsAndSeparatesItsPayload) {
  const std::string plain = RandomBytes(50000, 4);
  const std::string container = MakeContainer(Recipe{}, plain);
  OpenCarrying(container, "c.jmz");
  EXPECT_TRUE(W().SelfDecryptButton->isEnabled());
  EXPECT_TRUE(W().SeparateButton->isEnabled());
  EXPECT_EQ(W().StatusText(), "自解密文件：c.jmz  大小：" + std::to_string(container.size()) + "字节。");

  SetKey(W().DecryptionKey, "secret");
  dialogs.save_answers = {dir.File("restored")};
  Click(W().SelfDecryptButton);
  EXPECT_EQ(Caption(Control::SelfDecryptButton), "取消");
  EXPECT_FALSE(W().SeparateButton->isEnabled());
  ASSERT_TRUE(WaitFor(Control::SelfDecryptButton));
  EXPECT_EQ(Caption(Control::SelfDecryptButton), "自解密");
  EXPECT_EQ(dialogs.save_specs.back().file_name, dir.File("c"));
  EXPECT_EQ(ReadFile(dir.File("restored.txt")), plain);
  EXPECT_EQ(W().StatusText(), "解密文件 ... 已完成。 — " + dir.File("restored.txt"));

  // Separate into a folder that already holds a program part: asked first.
  WriteFile(dir.File("Vesk 文件加密.run"), "old");
  dialogs.save_answers = {dir.File("copy")};
  dialogs.question_answers = {true};
  Click(W().SeparateButton);
  ASSERT_TRUE(WaitFor(Control::SeparateButton));
  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_EQ(dialogs.questions[0].first, dir.File("Vesk 文件加密.run") + " 文件已经存在,是否替换? 否 则取消。");
  EXPECT_EQ(dialogs.questions[0].second, "替换文件");
  EXPECT_EQ(dialogs.save_specs.back().title, "分离后的文件保存为");
  EXPECT_EQ(ReadFile(dir.File("Vesk 文件加密.run")), image_);
  EXPECT_EQ(ReadFile(dir.File("copy.jmz")), container);
  EXPECT_EQ(W().StatusText(), "分离自解密文件 ... 已完成。 — " + dir.File("Vesk 文件加密.run") + ", " + dir.File("copy.jmz"));
  EXPECT_EQ(Caption(Control::SeparateButton), "分离");
  EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(SfxCommands, CancellingSeparateAsksWithItsOwnCaption) {
  OpenCarrying(MakeContainer(Recipe{}, RandomBytes(4 << 20, 5)), "big.jmz");
  dialogs.save_answers = {dir.File("big")};
  dialogs.question_answers = {true};
  CancelOnFirstMove(W().SeparateButton);
  Click(W().SeparateButton);
  EXPECT_EQ(Caption(Control::SeparateButton), "取消");
  ASSERT_TRUE(WaitFor(Control::SeparateButton));
  ASSERT_TRUE(cancelled_);
  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_EQ(dialogs.questions[0].first, "真的要取消分离自解密文件：“big.jmz”吗?");
  EXPECT_EQ(dialogs.questions[0].second, "取消分离");
  EXPECT_FALSE(PathExists(dir.File("big.jmz")));
  EXPECT_EQ(W().StatusText(), "分离自解密文件已取消。");
}

}  // namespace
}  // namespace vesk::gui::testing
