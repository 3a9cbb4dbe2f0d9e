// Encrypt and decrypt driven through the window: clicks on the buttons,
// scripted dialog answers, the Qt port carrying the workers' calls.
#include <QAction>
#include <QProgressBar>
#include <QRadioButton>
#include <QThread>
#include <QTimer>

#include <thread>

#include "compress/compressor.h"
#include "platform/file_io.h"
#include "support/temp_dir.h"
#include "window_fixture.h"

namespace vesk::gui::testing {
namespace {

using vesk::testing::RandomBytes;

class Commands : public WindowTest {
 protected:
  std::string Caption(Control c) { return W().ControlCaption(c); }
};

TEST_F(Commands, EncryptThenDecryptRoundTripsWithTheButtonsCaptionsAndKeyText) {
  Open();
  const std::string plain = dir.File("report.doc");
  const std::string original = RandomBytes(300000, 7);
  WriteFile(plain, original);
  SetKey(W().EncryptionKey, "密钥\nabc");
  SetKey(W().DecryptionKey, "密钥\nabc");
  // The key boxes give their lines with CR LF, and the engines get GBK.
  EXPECT_EQ(session->Port().KeyText(Control::EncryptionKey), "密钥\r\nabc");
  EXPECT_EQ(Logic().KeyBytes(Control::EncryptionKey), "\xC3\xDC\xD4\xBF\r\nabc");

  // Ratio "正常压缩": compress into the temporary folder, then encrypt.
  ASSERT_TRUE(W().RatioItem(2)->isChecked());
  dialogs.open_answers = {plain};
  dialogs.save_answers = {dir.File("report.jmz")};
  EXPECT_EQ(Caption(Control::EncryptButton), "加密文件");
  Click(W().EncryptButton);
  EXPECT_EQ(Caption(Control::EncryptButton), "取消加密");
  EXPECT_TRUE(W().EncryptButton->isEnabled());  // it is the cancel button now
  EXPECT_FALSE(W().DecryptButton->isEnabled());
  EXPECT_FALSE(W().EncryptionKey->isEnabled());
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Caption(Control::EncryptButton), "加密文件");
  EXPECT_TRUE(W().DecryptButton->isEnabled());
  EXPECT_TRUE(W().EncryptionKey->isEnabled());
  EXPECT_EQ(W().StatusText(), "加密文件 ... 已完成。 — " + dir.File("report.jmz"));
  EXPECT_TRUE(FileExists(dir.File("report.jmz")));
  EXPECT_TRUE(dialogs.messages.empty());
  EXPECT_TRUE(dialogs.all_on_gui_thread);
  ASSERT_EQ(dialogs.open_specs.size(), 1u);
  EXPECT_EQ(dialogs.open_specs[0].title, "选择要加密的文件进行加密");
  EXPECT_EQ(dialogs.save_specs[0].file_name, dir.File("report.jmz"));

  // Decrypt: the save dialog proposes the name without its extension, and
  // the stored extension is appended.
  dialogs.open_answers = {dir.File("report.jmz")};
  dialogs.save_answers = {dir.File("restored")};
  Click(W().DecryptButton);
  EXPECT_EQ(Caption(Control::DecryptButton), "取消解密");
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Caption(Control::DecryptButton), "解密文件");
  EXPECT_EQ(dialogs.save_specs.back().file_name, dir.File("report"));
  EXPECT_EQ(ReadFile(dir.File("restored.doc")), original);
  EXPECT_EQ(W().StatusText(), "解密文件 ... 已完成。 — " + dir.File("restored.doc"));
  EXPECT_EQ(W().ProgressBar->value(), W().ProgressBar->maximum());
  EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messages.front().first;
}

TEST_F(Commands, CancelMidRunLeavesNoOutput) {
  Open();
  const std::string plain = dir.File("big.bin");
  WriteFile(plain, RandomBytes(400000, 3));
  SetKey(W().EncryptionKey, "k");
  Click(W().RatioItem(0));  // no compression: the engine encrypts directly
  dialogs.open_answers = {plain};
  dialogs.save_answers = {dir.File("big.jmz")};
  dialogs.question_answers = {true};  // "真的要取消加密…" Yes

  // The first bar move comes from the worker, which waits while the window
  // handles it: cancel right there, as a user's click would.
  bool cancelled = false;
  QObject::connect(W().ProgressBar, &QProgressBar::valueChanged, W().ProgressBar, [&](int value) {
    if (value > 0 && !cancelled) {
      cancelled = true;
      Click(W().EncryptButton);
    }
  });
  Click(W().EncryptButton);
  ASSERT_TRUE(WaitIdle());
  ASSERT_TRUE(cancelled);
  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_EQ(dialogs.questions[0].first, "真的要取消加密：“" + plain + "”吗?");
  EXPECT_EQ(dialogs.questions[0].second, "取消加密");
  EXPECT_FALSE(PathExists(dir.File("big.jmz")));
  EXPECT_EQ(W().StatusText(), "加密文件已取消。");
  EXPECT_EQ(Caption(Control::EncryptButton), "加密文件");
}

TEST_F(Commands, NoToTheReplaceQuestionWritesNothing) {
  Open();
  const std::string plain = dir.File("a.txt");
  WriteFile(plain, "some text");
  WriteFile(dir.File("a.jmz"), "old");
  SetKey(W().EncryptionKey, "k");
  dialogs.open_answers = {plain};
  dialogs.save_answers = {dir.File("a.jmz")};
  dialogs.question_answers = {false};
  Click(W().EncryptButton);
  ASSERT_TRUE(WaitIdle());
  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_EQ(dialogs.questions[0].first, dir.File("a.jmz") + " 文件已经存在,是否替换? 否 则不替换, 跳过这个文件。");
  EXPECT_EQ(dialogs.questions[0].second, "替换文件");
  EXPECT_EQ(dialogs.careful, std::vector<std::string>{dialogs.questions[0].first});  // Enter keeps the file
  EXPECT_EQ(ReadFile(dir.File("a.jmz")), "old");
  EXPECT_EQ(W().StatusText(), "加密文件已取消。");
  EXPECT_EQ(Caption(Control::EncryptButton), "加密文件");
  EXPECT_EQ(Logic().Tag(Control::EncryptButton), 0);
}

TEST_F(Commands, CompressOnlyAndTheRefusalWithoutKeyOrRatio) {
  Open();
  const std::string plain = dir.File("bar.txt");
  WriteFile(plain, std::string(5000, 'z'));
  dialogs.open_answers = {plain};
  dialogs.save_answers = {plain + ".zak"};
  Click(W().EncryptButton);
  ASSERT_TRUE(WaitIdle());
  EXPECT_TRUE(FileExists(plain + ".zak"));
  EXPECT_EQ(W().StatusText(), "进行压缩文件... 已完成。 — " + dir.File("bar.txt.zak"));

  // Without a key and with "不压缩" the command is refused before any dialog.
  Click(W().RatioItem(0));
  Click(W().EncryptButton);
  ASSERT_TRUE(WaitIdle());
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].first, "请选择文件压缩率进行压缩或者输入密钥进行加密。加密文件已取消。");
  EXPECT_EQ(W().StatusText(), dialogs.messages[0].first);  // a message also becomes the status text
}

TEST_F(Commands, ClosingMidRunStopsTheWorkerAndLeavesNoPartialFile) {
  Open();
  const std::string plain = dir.File("big.bin");
  WriteFile(plain, RandomBytes(400000, 5));
  SetKey(W().EncryptionKey, "k");
  Click(W().RatioItem(0));
  dialogs.open_answers = {plain};
  dialogs.save_answers = {dir.File("big.jmz")};

  // Posted while the worker waits on its first bar move, so the close comes
  // before the worker's next call to the window.
  bool closing = false;
  QObject::connect(W().ProgressBar, &QProgressBar::valueChanged, W().ProgressBar, [&](int value) {
    if (value > 0 && !closing) {
      closing = true;
      QTimer::singleShot(0, &W(), [&] { W().close(); });
    }
  });
  Click(W().EncryptButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return closing && !W().isVisible(); }, 20000));
  // The close waited for the worker.
  EXPECT_EQ(RunningWorkers(), 0);
  EXPECT_FALSE(PathExists(dir.File("big.jmz")));
  EXPECT_TRUE(session->Port().Closing());
  EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(Commands, WorkerCallsRunOnTheGuiThreadAndAnswersGoBack) {
  Open();
  dialogs.question_answers = {true};
  std::atomic<bool> answered{false}, answer{false};
  std::thread worker([&] {
    session->Port().SetStatusText("进行加密文件...");
    answer = session->Port().Question("问题?", "标题");
    session->Port().MessageBox("消息", "标题");
    answered = true;
  });
  ASSERT_TRUE(QTest::qWaitFor([&] { return answered.load(); }, 10000));
  worker.join();
  EXPECT_TRUE(answer);
  EXPECT_EQ(W().StatusText(), "进行加密文件...");
  EXPECT_EQ(dialogs.messages.size(), 1u);
  EXPECT_TRUE(dialogs.all_on_gui_thread);
}

TEST_F(Commands, AWorkerWaitingOnTheWindowIsServedWhileStopWaits) {
  Open();
  const std::string source = dir.File("s.bin");
  WriteFile(source, RandomBytes(3 * 65535, 1));
  Compressor compression(session->Ui());
  compression.SourceFile = source;
  compression.DestFile = dir.File("s.zak");
  int ends = 0;
  bool began = false;
  std::atomic<bool> second_done{false};
  std::thread second;
  // While the component's worker waits on its start event, another thread
  // hands the window a call and blocks on it.
  compression.OnBegin = [&](int64_t) {
    began = true;
    second = std::thread([&] {
      session->Port().SetStatusText("从另一个线程");
      second_done = true;
    });
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (session->Ui().PendingCount() == 0 && std::chrono::steady_clock::now() < limit) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  };
  compression.OnEnd = [&](bool, float) { ++ends; };
  compression.Compress();
  // Pumps the queue only (no Qt event loop) until the start event has run.
  ASSERT_TRUE(session->Ui().RunUntil([&] { return began; }, std::chrono::seconds(10)));
  ASSERT_FALSE(second_done);
  // The worker cannot end without the user-interface thread, and neither can
  // the other thread: Stop's own pumping has to serve both.
  compression.Stop();
  EXPECT_EQ(W().StatusText(), "从另一个线程");
  EXPECT_EQ(ends, 1);
  second.join();
  EXPECT_TRUE(second_done);
}

TEST_F(Commands, TheKeylessItemsWaitWhileAKeyedCommandRuns) {
  Open();
  for (int use = 0; use < 6; ++use) Logic().RevealKeylessItems();
  QAction* encrypt = W().MenuItem("KeylessEncryptItem");
  QAction* decrypt = W().MenuItem("KeylessDecryptItem");
  ASSERT_TRUE(W().KeylessItemsShown());
  EXPECT_TRUE(encrypt->isEnabled());
  const std::string plain = dir.File("big.bin");
  WriteFile(plain, RandomBytes(3 << 20, 5));
  SetKey(W().EncryptionKey, "k");
  dialogs.open_answers = {plain};
  dialogs.save_answers = {dir.File("big.jmz")};
  bool seen = false, any_enabled = false;
  QObject::connect(W().ProgressBar, &QProgressBar::valueChanged, W().ProgressBar, [&](int value) {
    if (value <= 0 || seen) return;
    seen = true;
    any_enabled = encrypt->isEnabled() || decrypt->isEnabled();
  });
  Click(W().EncryptButton);
  ASSERT_TRUE(WaitIdle());
  ASSERT_TRUE(seen);
  EXPECT_FALSE(any_enabled);
  EXPECT_EQ(W().StatusText(), "加密文件 ... 已完成。 — " + dir.File("big.jmz"));
  EXPECT_TRUE(encrypt->isEnabled());
  EXPECT_TRUE(decrypt->isEnabled());
}

}  // namespace
}  // namespace vesk::gui::testing
