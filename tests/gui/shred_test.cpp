// The shred item of the popup menu through the Qt port: its caption while a
// file is overwritten, the other commands locked, the stop, the messages.
#include <QAction>
#include <QMenu>
#include <QProgressBar>

#include "platform/file_io.h"
#include "support/temp_dir.h"
#include "window_fixture.h"

namespace vesk::gui::testing {
namespace {

using vesk::testing::RandomBytes;

class Shred : public WindowTest {
 protected:
  QAction* Item() { return W().MenuItem("ShredItem"); }
  std::string ItemCaption() { return W().ControlCaption(Control::ShredItem); }
  bool WaitShredIdle() {
    return QTest::qWaitFor([&] { return Logic().Tag(Control::ShredItem) == 0 && RunningWorkers() == 0; }, 20000);
  }

  // What the window shows at the first move of the bar (the worker waits
  // while the window handles it); then `then` runs there too.
  struct Busy {
    bool seen = false;
    std::string caption;
    bool item_enabled = false, encrypt_enabled = true, decrypt_enabled = true, key_enabled = true;
  };
  void WatchFirstMove(Busy& busy, std::function<void()> then = {}) {
    QObject::connect(W().ProgressBar, &QProgressBar::valueChanged, W().ProgressBar, [&busy, this, then](int value) {
      if (value <= 0 || busy.seen) return;
      busy.seen = true;
      busy.caption = ItemCaption();
      busy.item_enabled = Item()->isEnabled();
      busy.encrypt_enabled = W().EncryptButton->isEnabled();
      busy.decrypt_enabled = W().DecryptButton->isEnabled();
      busy.key_enabled = W().DecryptionKey->isEnabled();
      if (then) then();
    });
  }
};

TEST_F(Shred, TheItemShredsTheChosenFileAndIsTheStopItemMeanwhile) {
  Open();
  const std::string path = dir.File("账本.txt");
  WriteFile(path, RandomBytes(40 * 65535, 11));
  ASSERT_TRUE(Item()->isEnabled());
  EXPECT_EQ(ItemCaption(), "粉碎文件(彻底删除文件，慎用)");
  dialogs.open_answers = {path};
  dialogs.question_answers = {true};
  Busy busy;
  WatchFirstMove(busy);
  Item()->trigger();
  ASSERT_TRUE(WaitShredIdle());

  ASSERT_TRUE(busy.seen);
  EXPECT_EQ(busy.caption, "停止粉碎文件");
  EXPECT_TRUE(busy.item_enabled);
  EXPECT_FALSE(busy.encrypt_enabled);
  EXPECT_FALSE(busy.decrypt_enabled);
  EXPECT_FALSE(busy.key_enabled);

  EXPECT_FALSE(PathExists(path));
  ASSERT_EQ(dialogs.open_specs.size(), 1u);
  EXPECT_EQ(dialogs.open_specs[0].title, "选择要粉碎的文件进行粉碎");
  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_EQ(dialogs.questions[0].first, "真的要粉碎文件“" + path + "”吗？");
  EXPECT_EQ(dialogs.questions[0].second, "粉碎文件");
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].first, "粉碎文件已完成 — " + path);
  EXPECT_TRUE(dialogs.all_on_gui_thread);
  EXPECT_EQ(W().StatusText(), "粉碎文件已完成 — " + path);
  EXPECT_EQ(ItemCaption(), "粉碎文件(彻底删除文件，慎用)");
  EXPECT_TRUE(W().EncryptButton->isEnabled());
  EXPECT_TRUE(Item()->isEnabled());
}

TEST_F(Shred, StoppingFromTheItemKeepsTheFileAndItsLength) {
  Open();
  const std::string path = dir.File("big.bin");
  const std::string original = RandomBytes(300 * 65535, 12);
  WriteFile(path, original);
  dialogs.open_answers = {path};
  dialogs.question_answers = {true};
  Busy busy;
  WatchFirstMove(busy, [this] { Item()->trigger(); });  // "停止粉碎文件"
  Item()->trigger();
  ASSERT_TRUE(WaitShredIdle());

  ASSERT_TRUE(busy.seen);
  // The stop says that the file is partly destroyed, and how far.
  const std::string head = "粉碎文件已停止：“" + path + "” 已有约 ";
  const std::string tail = "% 被零覆盖，这部分内容已无法恢复；文件已部分损坏，没有删除。";
  ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.messages.empty(); }, 20000));
  const std::string said = dialogs.messages[0].first;
  EXPECT_EQ(said.substr(0, head.size()), head) << said;
  EXPECT_TRUE(said.ends_with(tail)) << said;
  EXPECT_GT(std::stoi(said.substr(head.size())), 0) << said;
  EXPECT_EQ(W().StatusText(), said);
  dialogs.messages.clear();
  EXPECT_EQ(dialogs.careful, std::vector<std::string>{"真的要粉碎文件“" + path + "”吗？"});  // Enter keeps the file
  EXPECT_EQ(ItemCaption(), "粉碎文件(彻底删除文件，慎用)");
  EXPECT_TRUE(W().EncryptButton->isEnabled());
  const std::string now = ReadFile(path);
  ASSERT_EQ(now.size(), original.size());
  EXPECT_EQ(now.front(), '\0');
  EXPECT_NE(now, std::string(now.size(), '\0'));

  // A directory is refused with the in-use message.
  dialogs.open_answers = {dir.path()};
  dialogs.question_answers = {true};
  Item()->trigger();
  ASSERT_TRUE(WaitShredIdle());
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].first, "粉碎文件出错，已停止。 要粉碎的文件正在使用中或者有只读属性等。");
  EXPECT_TRUE(DirectoryExists(dir.path()));
}

// The menu opened while the item was the stop; the run ends before the
// click arrives: the click stops nothing and asks for no new file.
TEST_F(Shred, AStopClickedAfterTheRunEndedOpensNoNewDialog) {
  Open();
  const std::string path = dir.File("small.bin");
  WriteFile(path, RandomBytes(20 * 65535, 13));
  dialogs.open_answers = {path};
  dialogs.question_answers = {true};
  Busy busy;
  WatchFirstMove(busy, [this] { W().PopupMenu->popup(W().mapToGlobal(QPoint(10, 10))); });
  Item()->trigger();
  ASSERT_TRUE(WaitShredIdle());
  ASSERT_TRUE(busy.seen);
  EXPECT_FALSE(PathExists(path));
  W().PopupMenu->hide();
  Item()->trigger();  // "停止粉碎文件" as the user saw it
  QTest::qWait(50);
  EXPECT_EQ(dialogs.open_specs.size(), 1u);
  EXPECT_EQ(ItemCaption(), "粉碎文件(彻底删除文件，慎用)");
  // Chosen from a menu opened since, the item asks for a file again.
  dialogs.open_answers = {std::nullopt};
  W().PopupMenu->popup(W().mapToGlobal(QPoint(10, 10)));
  W().PopupMenu->hide();
  Item()->trigger();
  EXPECT_EQ(dialogs.open_specs.size(), 2u);
}

}  // namespace
}  // namespace vesk::gui::testing
