// The window logic end to end with a scripted port: dialogs and questions
// answered from a script, the user-interface thread pumped by the test.
#include "app/window_logic.h"

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>

#include <gtest/gtest.h>

#include "app/window_logic_fixture.h"
#include "platform/file_io.h"

namespace vesk {
namespace {

using testing::ReadFile;
using testing::WindowLogicTest;
using testing::WriteFile;

TEST_F(WindowLogicTest, EncryptButtonTurnsIntoCancelAndBack) {
  WriteFile(dir_.File("a.txt"), testing::RandomBytes(3000, 7));
  port_.keys[Control::EncryptionKey] = "密钥";
  window_->SetRatioIndex(0);
  Encrypt(dir_.File("a.txt"), dir_.File("a.jmz"));
  EXPECT_EQ(port_.captions[Control::EncryptButton], (std::vector<std::string>{"取消加密", "加密文件"}));
  EXPECT_EQ(window_->StatusText(), "加密文件 ... 已完成。 — " + dir_.File("a.jmz"));
  EXPECT_EQ(port_.save_specs.back().file_name, dir_.File("a.jmz"));
  EXPECT_EQ(port_.save_specs.back().title, "加密后的文件保存为");
  EXPECT_EQ(std::filesystem::file_size(dir_.File("a.jmz")), 3000u + 4 + 12 + 37);
  const RunResult result = window_->Result();
  EXPECT_EQ(result.outcome, Outcome::kDone);
  EXPECT_EQ(result.written, std::vector<std::string>{dir_.File("a.jmz")});
}

TEST_F(WindowLogicTest, CompressThenEncryptAndDecryptThenDecompress) {
  const std::string plain = std::string(200000, 'x') + testing::RandomBytes(1000, 1);
  WriteFile(dir_.File("report.doc"), plain);
  port_.keys[Control::EncryptionKey] = port_.keys[Control::DecryptionKey] = "k";
  window_->SetRatioIndex(3);
  Encrypt(dir_.File("report.doc"), dir_.File("report.jmz"));
  ASSERT_EQ(window_->StatusText(), "加密文件 ... 已完成。 — " + dir_.File("report.jmz")) << (port_.messages.empty() ? "" : port_.messages[0]);
  EXPECT_EQ(ContainerFields(dir_.File("report.jmz")).pre_zip_level, 3);
  EXPECT_EQ(TempFiles(), 0u);
  EXPECT_LT(std::filesystem::file_size(dir_.File("report.jmz")), 10000u);

  std::filesystem::remove(dir_.File("report.doc"));
  Decrypt(dir_.File("report.jmz"), dir_.File("report"));
  EXPECT_EQ(window_->StatusText(), "解密文件 ... 已完成。 — " + dir_.File("report.doc"));
  EXPECT_EQ(ReadFile(dir_.File("report.doc")), plain);
  // The run's result names the final file, not the intermediate ".zak".
  EXPECT_EQ(window_->Result().outcome, Outcome::kDone);
  EXPECT_EQ(window_->Result().written, std::vector<std::string>{dir_.File("report.doc")});
  EXPECT_EQ(TempFiles(), 0u);
  EXPECT_EQ(port_.captions[Control::DecryptButton].back(), "解密文件");
}

TEST_F(WindowLogicTest, CompressOnlyNamesTheFileAfterTheChosenOne) {
  WriteFile(dir_.File("bar.txt"), std::string(5000, 'b'));
  window_->SetRatioIndex(1);
  Encrypt(dir_.File("bar.txt"), dir_.File("bar.txt.zak"));
  EXPECT_EQ(port_.save_specs.back().file_name, dir_.File("bar.txt.zak"));
  EXPECT_EQ(port_.save_specs.back().filter_index, 1);
  EXPECT_EQ(window_->StatusText(), "进行压缩文件... 已完成。 — " + dir_.File("bar.txt.zak"));
  EXPECT_EQ(window_->Result().written, std::vector<std::string>{dir_.File("bar.txt.zak")});
  EXPECT_TRUE(FileExists(dir_.File("bar.txt.zak")));
  // A ".zak" given to the decrypt command is decompressed into the typed path.
  port_.keys[Control::DecryptionKey] = "any";
  Decrypt(dir_.File("bar.txt.zak"), dir_.File("copy"));
  EXPECT_TRUE(port_.messages.empty());
  EXPECT_EQ(ReadFile(dir_.File("copy")), std::string(5000, 'b'));
  EXPECT_EQ(window_->StatusText(), "进行解压缩文件... 已完成。 — " + dir_.File("copy"));
}

TEST_F(WindowLogicTest, NeitherKeyNorRatioIsRefusedBeforeBothDialogs) {
  WriteFile(dir_.File("f"), "data");
  window_->SetRatioIndex(0);
  window_->EncryptClicked();  // refused before any dialog is scripted or shown
  WaitIdle(Control::EncryptButton);
  ASSERT_EQ(port_.messages.size(), 1u);
  EXPECT_EQ(port_.messages[0], "请选择文件压缩率进行压缩或者输入密钥进行加密。加密文件已取消。");
  EXPECT_TRUE(port_.open_specs.empty());
  EXPECT_TRUE(port_.save_specs.empty());
  EXPECT_FALSE(PathExists(dir_.File("f.zak")));
}

TEST_F(WindowLogicTest, CancelledDialogsAndRefusedReplaceWriteNothing) {
  WriteFile(dir_.File("f.txt"), "data");
  port_.keys[Control::EncryptionKey] = "k";
  Encrypt(dir_.File("f.txt"), std::nullopt);
  EXPECT_EQ(window_->StatusText(), "加密文件已取消。");

  port_.open_answers.push_back(std::nullopt);
  window_->EncryptClicked();
  EXPECT_EQ(window_->StatusText(), "加密文件已取消。");

  WriteFile(dir_.File("f.jmz"), "old");
  port_.question_answers = {false};
  Encrypt(dir_.File("f.txt"), dir_.File("f.jmz"));
  EXPECT_EQ(port_.questions.back(), dir_.File("f.jmz") + " 文件已经存在,是否替换? 否 则不替换, 跳过这个文件。");
  EXPECT_EQ(ReadFile(dir_.File("f.jmz")), "old");
  EXPECT_FALSE(window_->Result().Completed());

  // Decrypt: a cancelled save dialog leaves the status line empty.
  Decrypt(dir_.File("f.jmz"), std::nullopt);
  EXPECT_EQ(window_->StatusText(), "");
  port_.open_answers.push_back(std::nullopt);
  window_->DecryptClicked();
  EXPECT_EQ(window_->StatusText(), "解密文件已取消。");
}

TEST_F(WindowLogicTest, ForeignFileFallsBackToDecompressionAndFails) {
  WriteFile(dir_.File("x.dat"), "this is not compressed at all");
  port_.keys[Control::DecryptionKey] = "k";
  Decrypt(dir_.File("x.dat"), dir_.File("x.out"));
  ASSERT_EQ(port_.messages.size(), 2u);
  EXPECT_EQ(port_.messages[0], "文件未经此软件加密或者是另外(不保存密钥)加密的，尝试解压缩。");
  EXPECT_EQ(port_.messages[1], "进行解压缩文件...不能完成！已经取消。可能文件未经此软件压缩过。");
  EXPECT_EQ(window_->Result().outcome, Outcome::kFailed);
  EXPECT_EQ(window_->Result().reason, port_.messages[1]);
  EXPECT_TRUE(window_->Result().written.empty());
  EXPECT_FALSE(PathExists(dir_.File("x.out")));
  EXPECT_EQ(port_.captions[Control::DecryptButton].back(), "解密文件");
}

TEST_F(WindowLogicTest, CancellingTheDecompressionStageDeletesItsFiles) {
  WriteFile(dir_.File("big.bin"), testing::RandomBytes(6 << 20, 4));
  port_.keys[Control::EncryptionKey] = port_.keys[Control::DecryptionKey] = "k";
  window_->SetRatioIndex(1);
  Encrypt(dir_.File("big.bin"), dir_.File("big.jmz"));
  ASSERT_EQ(window_->StatusText(), "加密文件 ... 已完成。 — " + dir_.File("big.jmz"));

  ClickDuringCompression(Control::DecryptButton, true);
  Decrypt(dir_.File("big.jmz"), dir_.File("out"));
  ASSERT_TRUE(clicked_);
  EXPECT_EQ(window_->StatusText(), "解密文件已取消。");
  EXPECT_EQ(window_->Result().outcome, Outcome::kCancelled);
  EXPECT_FALSE(PathExists(dir_.File("out.bin")));
  EXPECT_EQ(TempFiles(), 0u);
}

TEST_F(WindowLogicTest, AnsweringNoToTheCancelQuestionLetsTheRunFinish) {
  WriteFile(dir_.File("big.bin"), testing::RandomBytes(4 << 20, 5));
  port_.keys[Control::EncryptionKey] = "k";
  window_->SetRatioIndex(2);
  ClickDuringCompression(Control::EncryptButton, false);
  Encrypt(dir_.File("big.bin"), dir_.File("big.jmz"));
  ASSERT_TRUE(clicked_);
  EXPECT_EQ(window_->StatusText(), "加密文件 ... 已完成。 — " + dir_.File("big.jmz"));
  EXPECT_TRUE(FileExists(dir_.File("big.jmz")));
}

TEST_F(WindowLogicTest, EncryptingAContainerAgainRaisesItsLayer) {
  WriteFile(dir_.File("p.txt"), "layered");
  port_.keys[Control::EncryptionKey] = "inner";
  window_->SetRatioIndex(0);
  Encrypt(dir_.File("p.txt"), dir_.File("p.jmz"));
  EXPECT_EQ(ContainerFields(dir_.File("p.jmz")).layer, 1);
  port_.keys[Control::DecryptionKey] = "inner";
  port_.keys[Control::EncryptionKey] = "outer";
  Encrypt(dir_.File("p.jmz"), dir_.File("q.jmz"));
  EXPECT_EQ(ContainerFields(dir_.File("q.jmz")).layer, 2);
  EXPECT_EQ(window_->StatusText(), "加密文件 ... 已完成。 — " + dir_.File("q.jmz"));
}

TEST_F(WindowLogicTest, FileFromTheStatusHintIsPreselected) {
  WriteFile(dir_.File("given.txt"), "x");
  window_->SetHintText(Hint::Source, dir_.File("given.txt"));
  port_.open_answers.push_back(std::nullopt);
  window_->EncryptClicked();
  EXPECT_EQ(port_.open_specs.back().file_name, dir_.File("given.txt"));
  port_.open_answers.push_back(std::nullopt);
  window_->DecryptClicked();
  EXPECT_EQ(port_.open_specs.back().file_name, dir_.File("given.txt"));
  EXPECT_EQ(port_.open_specs.back().filter_index, 1);
}

TEST_F(WindowLogicTest, KeylessItemsComeWithTheSixthUseAndGoWithTheThirteenth) {
  std::vector<bool> shown;
  for (int use = 1; use <= 19; ++use) {
    window_->RevealKeylessItems();
    shown.push_back(window_->KeylessItemsShown());
  }
  for (int use = 1; use <= 19; ++use) {
    EXPECT_EQ(shown[use - 1], (use >= 6 && use <= 12) || use == 19) << use;
  }
}

TEST_F(WindowLogicTest, RemovingTheKeylessItemsWaitsForTheirOperation) {
  for (int i = 0; i < 6; ++i) window_->RevealKeylessItems();
  WriteFile(dir_.File("big.bin"), testing::RandomBytes(8 << 20, 9));
  port_.keys[Control::EncryptionKey] = "k";
  port_.open_answers.push_back(dir_.File("big.bin"));
  port_.save_answers.push_back(dir_.File("out.bin"));
  // The worker is held at its first bar move (past the reset to 0 that the
  // command makes on this thread) until the items are removed.
  std::mutex mutex;
  std::condition_variable changed;
  bool held = false, released = false;
  port_.on_bar_position = [&](int64_t position) {
    std::unique_lock lock(mutex);
    if (held || position <= 0) return;
    held = true;
    changed.notify_all();
    changed.wait(lock, [&] { return released; });
  };
  window_->KeylessEncryptCommand();
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(60), [&] { return held; }));
  }
  EXPECT_EQ(port_.captions[Control::KeylessEncryptItem].back(), "取消加密");
  EXPECT_FALSE(port_.enabled[Control::KeylessDecryptItem]);
  for (int i = 0; i < 7; ++i) window_->RevealKeylessItems();  // the 13th use
  EXPECT_EQ(window_->InfoClickCount(), 0);
  EXPECT_EQ(window_->Tag(Control::KeylessEncryptItem), 1);
  EXPECT_TRUE(window_->KeylessItemsShown());  // still running: they stay
  {
    std::lock_guard lock(mutex);
    released = true;
  }
  changed.notify_all();
  WaitIdle(Control::KeylessEncryptItem);
  EXPECT_FALSE(window_->KeylessItemsShown());
  EXPECT_EQ(window_->StatusText(), "加密(不保存密钥的)文件 ... 已完成。 — " + dir_.File("out.jmz"));
  EXPECT_TRUE(FileExists(dir_.File("out.jmz")));
  EXPECT_TRUE(port_.enabled[Control::EncryptButton]);
}

TEST_F(WindowLogicTest, KeylessCommandsNeedTheirKey) {
  window_->KeylessEncryptCommand();
  window_->KeylessDecryptCommand();
  EXPECT_EQ(port_.messages, (std::vector<std::string>{"密钥不能为空,请输入加密的密钥。", "密钥不能为空,请输入解密的密钥。"}));
  EXPECT_TRUE(port_.open_specs.empty());
}

}  // namespace
}  // namespace vesk
