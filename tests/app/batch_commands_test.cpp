// Several files and folders through the window logic and the scripted port:
// each file as if chosen alone with one key, one bar over all of them, the
// status line naming the file at work, a failure in the middle not stopping
// the rest, a cancel in the middle keeping what was done and skipping the
// rest, the replace question's answers for the rest, a folder packed and
// unpacked again, and one summary at the end.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "app/window_logic_fixture.h"
#include "archive/tree_fixture.h"
#include "platform/file_io.h"

namespace vesk {
namespace {

using testing::RandomBytes;
using testing::ReadFile;
using testing::TakeSnapshot;
using testing::WindowLogicTest;
using testing::WriteFile;
using Answer = WindowPort::ReplaceAnswer;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class Batches : public WindowLogicTest {
 protected:
  Batches() {
    port_.keys[Control::EncryptionKey] = "钥匙 key";
    port_.keys[Control::DecryptionKey] = "钥匙 key";
    window_->SetRatioIndex(0);
  }
  std::string Make(const std::string& name, const std::string& bytes) {
    WriteFile(dir_.File(name), bytes);
    return dir_.File(name);
  }
  // Pumps until the command, whatever follows it and every worker are done.
  void WaitDone(Control busy) {
    auto done = [&] {
      return window_->Tag(busy) == 0 && RunningWorkers() == 0;
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!done() && std::chrono::steady_clock::now() < deadline) ui_.RunUntil(done, std::chrono::milliseconds(5));
    ASSERT_TRUE(done());
  }
  void Run(Control button, std::vector<std::string> paths) {
    port_.open_many_answers.push_back(std::move(paths));
    Click(button);
    WaitDone(button);
  }
  std::vector<std::string> Staging() {
    std::vector<std::string> found;
    for (const auto& e : std::filesystem::directory_iterator(dir_.path())) {
      if (e.path().filename().string().rfind(".vesk-", 0) == 0) found.push_back(e.path());
    }
    return found;
  }

  std::vector<int64_t> bars_;
};

TEST(SourceLine, NamesOneFileAndCountsSeveral) {
  EXPECT_EQ(WindowLogic::SourceLine({"/a/b.txt"}), "/a/b.txt");
  EXPECT_EQ(WindowLogic::SourceLine({"/a", "/b", "/c"}), "共 3 个文件");
}

TEST_F(Batches, EveryFileIsEncryptedAsIfAloneUnderOneBarAndOneSummary) {
  const std::string a = Make("a.txt", RandomBytes(300000, 1)), b = Make("b.txt", RandomBytes(5, 2)),
                    c = Make("c.txt", RandomBytes(2000000, 3));
  std::mutex bars_mutex;
  port_.on_bar_position = [&](int64_t p) {
    std::lock_guard lock(bars_mutex);
    bars_.push_back(p);
  };
  Run(Control::EncryptButton, {a, b, c});
  EXPECT_EQ(window_->Result().outcome, Outcome::kDone) << window_->Result().reason;
  EXPECT_EQ(window_->Result().written,
            (std::vector<std::string>{dir_.File("a.jmz"), dir_.File("b.jmz"), dir_.File("c.jmz")}));
  EXPECT_TRUE(port_.save_specs.empty());  // the names beside the sources, unasked
  ASSERT_EQ(port_.messages.size(), 1u);   // the summary, and no box before it
  EXPECT_TRUE(Contains(port_.messages[0], "共 3 个文件：已完成 3 个，没有完成 0 个，跳过 0 个。")) << port_.messages[0];
  // The status line named each file at work.
  for (const char* prefix : {"(1/3) a.txt：", "(2/3) b.txt：", "(3/3) c.txt："}) {
    EXPECT_TRUE(std::any_of(port_.statuses.begin(), port_.statuses.end(),
                            [&](const std::string& s) { return s.rfind(prefix, 0) == 0; }))
        << prefix;
  }
  // One bar over the 2300005 bytes: forward only, to its end.
  ASSERT_FALSE(bars_.empty());
  EXPECT_TRUE(std::is_sorted(bars_.begin(), bars_.end()));
  EXPECT_EQ(bars_.back(), 2300005);

  // And back, with the same key, into another folder's copies.
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) std::filesystem::rename(dir_.File(name), dir_.File(std::string(name) + ".orig"));
  Run(Control::DecryptButton, {dir_.File("a.jmz"), dir_.File("b.jmz"), dir_.File("c.jmz")});
  EXPECT_EQ(window_->Result().outcome, Outcome::kDone) << window_->Result().reason;
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
    EXPECT_EQ(ReadFile(dir_.File(name)), ReadFile(dir_.File(std::string(name) + ".orig"))) << name;
  }
  EXPECT_EQ(window_->Tag(Control::DecryptButton), 0);
  EXPECT_TRUE(port_.enabled[Control::EncryptButton]);
}

TEST_F(Batches, TwoSourcesOfOneOutputNameBothComeThrough) {
  // x.bin and x.txt both propose x.jmz: the second gets a free name instead
  // of replacing the first, and the summary names what was written.
  const std::string bin = Make("x.bin", RandomBytes(1000, 4)), txt = Make("x.txt", RandomBytes(2000, 5));
  port_.keys[Control::EncryptionKey] = "k";
  window_->SetRatioIndex(0);
  Run(Control::EncryptButton, {bin, txt});
  ASSERT_EQ(window_->Result().outcome, Outcome::kDone) << window_->Result().reason;
  EXPECT_EQ(window_->Result().written, (std::vector<std::string>{dir_.File("x.jmz"), dir_.File("x (2).jmz")}));
  EXPECT_TRUE(Contains(port_.messages.back(), txt + " → " + dir_.File("x (2).jmz"))) << port_.messages.back();
}

TEST_F(Batches, AFailureInTheMiddleIsReportedAtTheEndAndTheRestStillRuns) {
  const std::string a = Make("a.txt", "first"), b = Make("b.txt", "second"), c = Make("c.txt", "third");
  // b's output cannot be written: a folder stands at its name.
  ASSERT_EQ(::mkdir(dir_.File("b.jmz").c_str(), 0755), 0);
  port_.replace_answers = {Answer::kYes};
  Run(Control::EncryptButton, {a, b, c});
  EXPECT_EQ(window_->Result().outcome, Outcome::kFailed);
  EXPECT_TRUE(PathExists(dir_.File("a.jmz")));
  EXPECT_TRUE(PathExists(dir_.File("c.jmz")));
  ASSERT_EQ(port_.messages.size(), 1u);
  const std::string& summary = port_.messages[0];
  EXPECT_TRUE(Contains(summary, "共 3 个文件：已完成 2 个，没有完成 1 个，跳过 0 个。")) << summary;
  EXPECT_TRUE(Contains(summary, b + "：替换删除文件“" + dir_.File("b.jmz") + "”失败！")) << summary;
  EXPECT_TRUE(Staging().empty());
}

TEST_F(Batches, ACancelInTheMiddleKeepsWhatWasDoneAndSkipsTheRest) {
  const std::string a = Make("a.txt", RandomBytes(1000, 1)), b = Make("b.txt", RandomBytes(24 << 20, 2)),
                    c = Make("c.txt", RandomBytes(1000, 3));
  // The cancel comes while b is at work: the bar is a megabyte into it. The
  // worker that moved the bar waits until the click has been handled.
  port_.on_bar_position = [this](int64_t position) {
    if (clicked_ || position < (1 << 20)) return;
    clicked_ = true;
    port_.question_answers.push_back(true);
    ui_.Post([this] {
      Click(Control::EncryptButton);
      click_done_ = true;
    });
    if (ui_.IsUiThread()) return;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!click_done_ && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  };
  Run(Control::EncryptButton, {a, b, c});
  EXPECT_TRUE(click_done_);
  EXPECT_EQ(window_->Result().outcome, Outcome::kCancelled);
  EXPECT_TRUE(PathExists(dir_.File("a.jmz")));
  EXPECT_FALSE(PathExists(dir_.File("b.jmz")));
  EXPECT_FALSE(PathExists(dir_.File("c.jmz")));
  EXPECT_TRUE(Staging().empty());
  ASSERT_FALSE(port_.questions.empty());
  EXPECT_EQ(port_.questions.back(), "真的要取消加密：“" + b + "”吗?");
  const std::string& summary = port_.messages.back();
  EXPECT_TRUE(Contains(summary, "已完成 1 个，没有完成 0 个，跳过 2 个。")) << summary;
  EXPECT_TRUE(Contains(summary, c + "：没有开始(已取消)。")) << summary;
  // The command is idle again, ready for the next.
  EXPECT_EQ(window_->Tag(Control::EncryptButton), 0);
  EXPECT_EQ(RunningWorkers(), 0);
}

TEST_F(Batches, ClosingTheWindowMidwayBeginsNoFurtherFile) {
  const std::string a = Make("a.txt", RandomBytes(1000, 1)), b = Make("b.txt", RandomBytes(24 << 20, 2)),
                    c = Make("c.txt", RandomBytes(1000, 3));
  port_.on_bar_position = [this](int64_t position) {
    if (clicked_ || position < (1 << 20)) return;
    clicked_ = true;
    ui_.Post([this] {
      window_->CloseRequested();
      click_done_ = true;
    });
    if (ui_.IsUiThread()) return;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!click_done_ && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  };
  Run(Control::EncryptButton, {a, b, c});
  EXPECT_TRUE(click_done_);
  EXPECT_TRUE(PathExists(dir_.File("a.jmz")));
  EXPECT_FALSE(PathExists(dir_.File("b.jmz")));
  EXPECT_FALSE(PathExists(dir_.File("c.jmz")));
  EXPECT_TRUE(Staging().empty());
  EXPECT_NE(window_->Result().outcome, Outcome::kDone);
}

TEST_F(Batches, NoToAllKeepsEveryExistingFileAndAsksOnce) {
  std::vector<std::string> sources;
  for (const char* name : {"a", "b", "c"}) {
    sources.push_back(Make(std::string(name) + ".txt", "new"));
    Make(std::string(name) + ".jmz", "old");
  }
  port_.replace_answers = {Answer::kNo, Answer::kNoToAll};
  Run(Control::EncryptButton, sources);
  EXPECT_EQ(port_.replace_questions.size(), 2u);  // a: No; b: No to all; c: not asked
  for (const char* name : {"a.jmz", "b.jmz", "c.jmz"}) EXPECT_EQ(ReadFile(dir_.File(name)), "old") << name;
  EXPECT_TRUE(Contains(port_.messages.back(), "已完成 0 个，没有完成 0 个，跳过 3 个。")) << port_.messages.back();

  port_.replace_answers = {Answer::kYesToAll};
  Run(Control::EncryptButton, sources);
  EXPECT_EQ(port_.replace_questions.size(), 3u);  // asked once more, for all
  for (const char* name : {"a.jmz", "b.jmz", "c.jmz"}) EXPECT_NE(ReadFile(dir_.File(name)), "old") << name;
  EXPECT_EQ(window_->Result().outcome, Outcome::kDone);
}

TEST_F(Batches, PathsNamedOnTheCommandLineAreTakenByTheNextCommandWithoutAsking) {
  const std::string a = Make("a.txt", "first");
  ::mkdir(dir_.File("folder").c_str(), 0755);
  Make("folder/inside.txt", "inside");
  window_->ApplyCommandLine({a, "/ysl1", dir_.File("folder")});
  EXPECT_EQ(window_->ChosenPaths(), (std::vector<std::string>{a, dir_.File("folder")}));
  EXPECT_EQ(port_.statuses.back(), "共 2 个文件");
  EXPECT_EQ(port_.hints[Hint::Source], "共 2 个文件");
  window_->EncryptClicked();
  WaitDone(Control::EncryptButton);
  EXPECT_TRUE(port_.open_specs.empty());
  EXPECT_EQ(window_->Result().written, (std::vector<std::string>{dir_.File("a.jmz"), dir_.File("folder.tar.jmz")}));
  EXPECT_TRUE(window_->ChosenPaths().empty());  // taken once
}

TEST_F(Batches, AFolderAmongFilesIsPackedAndUnpackedAfterItsDecryption) {
  const std::string folder = dir_.File("资料");
  testing::BuildSampleTree(folder);
  ::unlink((folder + "/fifo").c_str());
  ::unlink((folder + "/socket").c_str());
  const auto expected = TakeSnapshot(folder);
  const std::string note = Make("note.txt", "a note");
  window_->SetRatioIndex(2);
  Run(Control::EncryptButton, {folder, note});
  ASSERT_EQ(window_->Result().outcome, Outcome::kDone) << window_->Result().reason;
  ASSERT_TRUE(PathExists(folder + ".tar.jmz"));
  std::filesystem::rename(folder, dir_.File("original"));

  // Decrypted alone: the question, then the folder where the tar was.
  port_.open_answers.push_back(folder + ".tar.jmz");
  port_.save_answers.push_back(folder);  // the proposal: the stored ".tar" follows
  port_.unpack_answers = {true};
  window_->DecryptClicked();
  WaitDone(Control::DecryptButton);
  EXPECT_EQ(port_.unpack_questions,
            std::vector<std::string>{"解开文件夹？\n“" + folder + ".tar” 解开到新的文件夹 “" + folder + "”。"});
  ASSERT_EQ(window_->Result().outcome, Outcome::kDone) << window_->Result().reason;
  EXPECT_EQ(testing::Differences(expected, TakeSnapshot(folder)), "");
  EXPECT_FALSE(PathExists(folder + ".tar"));

  // Again: the folder is there now. The save dialog proposes a free name
  // instead of walking into the folder; given the taken one all the same,
  // the question names both folders and another name is asked for, a free
  // one proposed.
  port_.open_answers.push_back(folder + ".tar.jmz");
  port_.save_answers.push_back(folder);
  port_.unpack_answers = {true};
  port_.new_folder_answers = {dir_.File("second copy")};
  window_->DecryptClicked();
  WaitDone(Control::DecryptButton);
  EXPECT_EQ(port_.save_specs.back().file_name, folder + " (2)");
  EXPECT_EQ(port_.unpack_questions.back(), "解开文件夹？\n文件夹 “" + folder + "” 已经存在，不会被改动：“" + folder +
                                               ".tar” 将解开到另外的文件夹 (建议 “" + folder + " (2)”)。");
  ASSERT_EQ(port_.new_folder_specs.size(), 1u);
  EXPECT_EQ(port_.new_folder_specs[0].file_name, folder + " (2)");
  EXPECT_EQ(port_.new_folder_specs[0].title, "文件夹 “" + folder + "” 已经存在，解开到另外的文件夹");
  EXPECT_EQ(testing::Differences(expected, TakeSnapshot(folder)), "");  // the first copy untouched
  EXPECT_EQ(testing::Differences(expected, TakeSnapshot(dir_.File("second copy"))), "");
  testing::MakeRemovable(dir_.path());
}

// With ".age" chosen, several files and a folder become age files under one
// passphrase read once, and come back (the folder unpacked) in one batch.
TEST_F(Batches, TheStrongFormatTakesSeveralFilesAndAFolder) {
  const std::string folder = dir_.File("资料");
  testing::BuildSampleTree(folder);
  ::unlink((folder + "/fifo").c_str());
  ::unlink((folder + "/socket").c_str());
  const auto expected = TakeSnapshot(folder);
  const std::string a = Make("a.txt", RandomBytes(70000, 1));
  const std::string b = Make("b.txt", "");
  window_->SetAgeWorkFactor(10);  // quick; the factor itself is tested elsewhere
  window_->FormatSelected(1);
  Run(Control::EncryptButton, {a, folder, b});
  ASSERT_EQ(window_->Result().outcome, Outcome::kDone) << window_->Result().reason;
  for (const std::string& out : {a + ".age", folder + ".tar.age", b + ".age"}) EXPECT_TRUE(PathExists(out)) << out;
  std::filesystem::rename(folder, dir_.File("original"));
  std::filesystem::rename(a, dir_.File("a.original"));
  ::unlink(b.c_str());

  port_.unpack_answers = {true};
  Run(Control::DecryptButton, {a + ".age", folder + ".tar.age", b + ".age"});
  ASSERT_EQ(window_->Result().outcome, Outcome::kDone) << window_->Result().reason;
  EXPECT_EQ(ReadFile(a), ReadFile(dir_.File("a.original")));
  EXPECT_EQ(ReadFile(b), "");
  EXPECT_EQ(testing::Differences(expected, TakeSnapshot(folder)), "");
  EXPECT_FALSE(PathExists(folder + ".tar"));
  EXPECT_EQ(Staging(), std::vector<std::string>{});
  testing::MakeRemovable(dir_.path());
}

// The file dialogs choose files only; the popup item's folder chooser sends
// a folder the encrypt button's way, and a refusal leaves no choice behind.
TEST_F(Batches, TheFolderItemEncryptsTheChosenFolder) {
  const std::string folder = dir_.File("相册");
  ::mkdir(folder.c_str(), 0755);
  WriteFile(folder + "/a.jpg", RandomBytes(5000, 3));
  port_.folder_answers.push_back(folder);
  port_.save_answers.push_back(folder + ".tar.jmz");
  window_->EncryptFolderClicked();
  WaitDone(Control::EncryptButton);
  EXPECT_EQ(port_.save_specs.back().file_name, folder + ".tar.jmz");
  ASSERT_EQ(window_->Result().outcome, Outcome::kDone) << window_->Result().reason;
  EXPECT_EQ(window_->Result().written, std::vector<std::string>{folder + ".tar.jmz"});

  // Without a key and without compression nothing can be done: refused, and
  // the next command asks for its own files again.
  port_.keys[Control::EncryptionKey] = "";
  port_.folder_answers.push_back(folder);
  window_->EncryptFolderClicked();
  WaitDone(Control::EncryptButton);
  EXPECT_EQ(window_->Result().outcome, Outcome::kRefused);
  EXPECT_TRUE(window_->ChosenPaths().empty());
  testing::MakeRemovable(dir_.path());
}

}  // namespace
}  // namespace vesk
