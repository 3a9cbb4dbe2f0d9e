// Several files and a folder through the window: dropped together, taken by
// the next click, worked on one after the other through the Qt port, and
// summed up in one box at the end; the folder's container unpacked again
// after the question.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QProgressBar>
#include <QUrl>

#include <sys/stat.h>

#include "platform/file_io.h"
#include "window_fixture.h"

namespace vesk::gui::testing {
namespace {

class Folders : public WindowTest {
 protected:
  void Drop(const std::vector<std::string>& paths) {
    QList<QUrl> urls;
    for (const std::string& p : paths) urls.push_back(QUrl::fromLocalFile(QString::fromStdString(p)));
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(100, 300), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&W(), &enter);
    QDropEvent drop(QPointF(100, 300), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&W(), &drop);
  }
  // Idle, with whatever follows a run (the next file, the unpacking) done too.
  bool WaitDone() {
    return QTest::qWaitFor([&] { return WaitIdle(std::chrono::milliseconds(1)); }, 60000);
  }
};

TEST_F(Folders, DroppedFilesAndAFolderAreEncryptedTogetherAndTheFolderComesBack) {
  Open();
  ::mkdir(dir.File("photos").c_str(), 0755);
  WriteFile(dir.File("photos/a.jpg"), vesk::testing::RandomBytes(200000, 1));
  WriteFile(dir.File("note.txt"), "a note");
  SetKey(W().EncryptionKey, "钥匙");
  SetKey(W().DecryptionKey, "钥匙");
  Drop({dir.File("photos"), dir.File("note.txt")});
  EXPECT_EQ(W().StatusText(), "共 2 个文件");

  Click(W().EncryptButton);
  EXPECT_EQ(W().ControlCaption(Control::EncryptButton), "取消加密");
  ASSERT_TRUE(WaitDone());
  EXPECT_TRUE(dialogs.open_specs.empty());  // the dropped paths were the choice
  EXPECT_TRUE(FileExists(dir.File("photos.tar.jmz")));
  EXPECT_TRUE(FileExists(dir.File("note.jmz")));
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_NE(dialogs.messages[0].first.find("共 2 个文件：已完成 2 个，没有完成 0 个，跳过 0 个。"), std::string::npos)
      << dialogs.messages[0].first;
  EXPECT_EQ(W().ProgressBar->value(), W().ProgressBar->maximum());
  EXPECT_EQ(W().ControlCaption(Control::EncryptButton), "加密文件");

  // Decrypted: the question, and the folder in its place again.
  ASSERT_EQ(::rename(dir.File("photos").c_str(), dir.File("original").c_str()), 0);
  dialogs.open_answers = {dir.File("photos.tar.jmz")};
  dialogs.save_answers = {dir.File("photos")};
  dialogs.question_answers = {true};
  Click(W().DecryptButton);
  ASSERT_TRUE(WaitDone());
  ASSERT_FALSE(dialogs.questions.empty());
  EXPECT_EQ(dialogs.questions.back().first,
            "解开文件夹？\n“" + dir.File("photos.tar") + "” 解开到新的文件夹 “" + dir.File("photos") + "”。");
  EXPECT_EQ(ReadFile(dir.File("photos/a.jpg")), ReadFile(dir.File("original/a.jpg")));
  EXPECT_FALSE(FileExists(dir.File("photos.tar")));
  EXPECT_TRUE(dialogs.all_on_gui_thread);
}

}  // namespace
}  // namespace vesk::gui::testing
