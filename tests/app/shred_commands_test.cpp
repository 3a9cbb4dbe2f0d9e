// The shred command of the window logic with a scripted port: the item's
// dialog, caption and tag, the worker's question, and the stop.
#include <atomic>
#include <chrono>
#include <map>
#include <thread>

#include <gtest/gtest.h>

#include "app/window_logic.h"
#include "platform/file_io.h"
#include "support/scripted_port.h"
#include "support/temp_dir.h"
#include "threads/queued_ui_thread.h"

namespace vesk {
namespace {

using testing::RandomBytes;
using testing::ReadFile;
using testing::ScriptedPort;
using testing::TempDir;
using testing::WriteFile;

class ShredCommandTest : public ::testing::Test {
 protected:
  ShredCommandTest() {
    window_ = std::make_unique<WindowLogic>(port_, ui_);
    window_->SetCommandState(Operation::MenuCommand, true);
  }

  // Pumps the user-interface thread until the worker has ended.
  void WaitIdle() {
    auto idle = [&] { return RunningWorkers() == 0; };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!idle() && std::chrono::steady_clock::now() < deadline) ui_.RunUntil(idle, std::chrono::milliseconds(5));
    ASSERT_TRUE(idle());
  }
  void Shred(const std::optional<std::string>& chosen, bool yes) {
    port_.open_answers.push_back(chosen);
    if (chosen) port_.question_answers.push_back(yes);
    window_->ShredClicked();
    WaitIdle();
  }

  TempDir dir_;
  ScriptedPort port_;
  QueuedUiThread ui_;
  std::unique_ptr<WindowLogic> window_;
};

TEST_F(ShredCommandTest, TheItemAsksForAFileAndShredsItWhileTheOtherCommandsWait) {
  const std::string path = dir_.File("名单.xls");
  WriteFile(path, RandomBytes(300000, 2));
  std::map<Control, bool> while_running;
  int tag_while_running = -1;
  port_.on_bar_position = [&](int64_t position) {
    if (position <= 0 || tag_while_running >= 0) return;
    tag_while_running = window_->Tag(Control::ShredItem);
    while_running = port_.enabled;
  };
  Shred(path, true);

  ASSERT_EQ(port_.open_specs.size(), 1u);
  EXPECT_EQ(port_.open_specs[0].title, "选择要粉碎的文件进行粉碎");
  EXPECT_EQ(port_.open_specs[0].filter, "全部文件(*.*)|*.*");
  EXPECT_EQ(port_.open_specs[0].file_name, "");
  EXPECT_EQ(port_.questions, std::vector<std::string>{"真的要粉碎文件“" + path + "”吗？"});
  EXPECT_FALSE(PathExists(path));
  EXPECT_EQ(port_.messages, std::vector<std::string>{"粉碎文件已完成 — " + path});
  EXPECT_EQ(port_.hints[Hint::Output], "粉碎的文件：" + path);

  // Busy: the item stops the run; every other command, the key-less items
  // included, waits.
  EXPECT_EQ(tag_while_running, 1);
  EXPECT_TRUE(while_running[Control::ShredItem]);
  for (Control c : {Control::EncryptButton, Control::DecryptButton, Control::CreateSelfDecryptingButton, Control::DecryptionKey, Control::KeylessEncryptItem,
                    Control::KeylessDecryptItem}) {
    EXPECT_FALSE(while_running[c]) << static_cast<int>(c);
  }
  EXPECT_EQ(port_.captions[Control::ShredItem],
            (std::vector<std::string>{"停止粉碎文件", "粉碎文件(彻底删除文件，慎用)"}));
  EXPECT_EQ(window_->Tag(Control::ShredItem), 0);
  EXPECT_TRUE(port_.enabled[Control::EncryptButton]);
  EXPECT_TRUE(port_.enabled[Control::KeylessEncryptItem]);
}

TEST_F(ShredCommandTest, CancelledDialogAndNoTouchNothing) {
  Shred(std::nullopt, true);
  EXPECT_EQ(window_->StatusText(), "粉碎文件已取消。");
  EXPECT_TRUE(port_.questions.empty());

  const std::string path = dir_.File("keep.txt");
  WriteFile(path, "keep me");
  Shred(path, false);
  EXPECT_EQ(port_.messages, std::vector<std::string>{"粉碎文件已取消。 - " + path});
  EXPECT_EQ(ReadFile(path), "keep me");
  EXPECT_TRUE(port_.captions[Control::ShredItem].empty());
}

TEST_F(ShredCommandTest, TheStopItemLeavesTheFileWithAZeroedPrefixAndItsLength) {
  const std::string path = dir_.File("large.bin");
  const std::string original = RandomBytes(200 * 65535, 3);
  WriteFile(path, original);
  std::atomic<bool> clicked{false};
  port_.on_bar_position = [&](int64_t position) {
    if (position <= 0 || clicked.exchange(true)) return;
    // The user clicks "停止粉碎文件"; the worker goes on only after the click.
    ui_.Post([&] { window_->ShredClicked(); });
    while (window_->Tag(Control::ShredItem) != 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  };
  Shred(path, true);

  ASSERT_TRUE(clicked);
  ASSERT_EQ(port_.messages.size(), 1u);
  EXPECT_TRUE(port_.messages[0].starts_with("粉碎文件已停止：“" + path + "” 已有约 ")) << port_.messages[0];
  EXPECT_EQ(window_->StatusText(), port_.messages[0]);
  EXPECT_EQ(window_->Result().outcome, Outcome::kCancelled);
  EXPECT_EQ(port_.captions[Control::ShredItem].back(), "粉碎文件(彻底删除文件，慎用)");
  const std::string now = ReadFile(path);
  ASSERT_EQ(now.size(), original.size());
  const std::size_t zeroed = now.find_first_not_of('\0');
  ASSERT_NE(zeroed, std::string::npos);
  EXPECT_GT(zeroed, 0u);
  EXPECT_EQ(zeroed % 65535, 0u);  // whole blocks
  EXPECT_EQ(now.substr(zeroed), original.substr(zeroed));
}

TEST_F(ShredCommandTest, AStoppedRunDoesNotGoOnWhenTheNextOneStarts) {
  // The first run hangs inside a write when it is stopped; a second shred
  // starts before the first looks at its stop.
  const std::string first = dir_.File("first.bin");
  const std::string second = dir_.File("second.bin");
  const std::string original = RandomBytes(200 * 65535, 4);
  WriteFile(first, original);
  WriteFile(second, "second");
  std::atomic<int> moves{0};
  port_.on_bar_position = [&](int64_t position) {
    if (position <= 0 || moves++ != 0) return;
    window_->StopShredding();
    port_.open_answers.push_back(second);
    port_.question_answers.push_back(true);
    ui_.Post([&] { window_->ShredClicked(); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (PathExists(second) && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  };
  Shred(first, true);
  EXPECT_FALSE(PathExists(second));
  EXPECT_TRUE(PathExists(first));
  EXPECT_EQ(ReadFile(first).size(), original.size());
  EXPECT_NE(ReadFile(first), std::string(original.size(), '\0'));
}

}  // namespace
}  // namespace vesk
