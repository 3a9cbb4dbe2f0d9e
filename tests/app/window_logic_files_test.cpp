// What the commands do to files: temporary and staging files, replacing,
// a source that is its own target, keys and extensions GBK cannot hold, flags
// across runs, cancels and failures and how they are reported.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "app/window_logic_fixture.h"
#include "crypto/keyed/container_fixture.h"
#include "platform/file_io.h"
#include "support/disk.h"
#include "support/faults.h"

namespace vesk {
namespace {

using testing::RandomBytes;
using testing::ReadFile;
using testing::ScriptedPort;
using testing::TempDir;
using testing::WindowLogicTest;
using testing::WriteFile;

std::string ReplaceRefused(const std::string& path, const char* cancelled) {
  return "替换删除文件“" + path + "”失败！文件正在使用中或者有只读属性等。" + cancelled;
}

// Compares a file's bytes without printing them: they may be megabytes.
::testing::AssertionResult Holds(const std::string& path, const std::string& expected) {
  if (!PathExists(path)) return ::testing::AssertionFailure() << path << " does not exist";
  const std::string got = ReadFile(path);
  if (got == expected) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << path << " holds " << got.size() << " other bytes ("
                                       << expected.size() << " expected)";
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

class WindowLogicFiles : public WindowLogicTest {
 protected:
  // What a modal question does while it is open: the window's events go on.
  void PumpUntilIdle(Control busy) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (window_->Tag(busy) != 0 && std::chrono::steady_clock::now() < deadline) {
      ui_.RunUntil([&] { return window_->Tag(busy) == 0; }, std::chrono::milliseconds(5));
    }
  }
};

// ---- Temporary files ---------------------------------------------------------

TEST_F(WindowLogicFiles, CompressThenEncryptTouchesNoFileOfTheTemporaryFolder) {
  const std::string plain = std::string(100000, 'p') + RandomBytes(100, 1);
  WriteFile(dir_.File("a.txt"), plain);
  // A file of the user's that happens to carry the name an intermediate file
  // would once have had, and a source that lives in the temporary folder.
  WriteFile(tmp_.File("a.zak"), "mine");
  port_.keys[Control::EncryptionKey] = port_.keys[Control::DecryptionKey] = "k";
  window_->SetRatioIndex(2);
  Encrypt(dir_.File("a.txt"), dir_.File("a.jmz"));
  ASSERT_EQ(window_->StatusText(), "加密文件 ... 已完成。 — " + dir_.File("a.jmz")) << (port_.messages.empty() ? "" : port_.messages[0]);
  EXPECT_TRUE(port_.questions.empty());
  EXPECT_TRUE(Holds(tmp_.File("a.zak"), "mine"));
  EXPECT_EQ(TempFiles(), 1u);

  WriteFile(tmp_.File("b.zak"), plain);
  Encrypt(tmp_.File("b.zak"), dir_.File("b.jmz"));
  ASSERT_EQ(window_->StatusText(), "加密文件 ... 已完成。 — " + dir_.File("b.jmz"));
  EXPECT_TRUE(Holds(tmp_.File("b.zak"), plain));
  EXPECT_EQ(TempFiles(), 2u);
  Decrypt(dir_.File("b.jmz"), dir_.File("b-back"));
  EXPECT_TRUE(Holds(dir_.File("b-back.zak"), plain));
}

TEST_F(WindowLogicFiles, TwoWindowsAtOnceWithTheSameNamesKeepTheirOwnFiles) {
  ScriptedPort other_port;
  WindowLogic other(other_port, ui_);
  other.SetCommandState(Operation::MenuCommand, true);
  // Two folders with files of the same names.
  struct Folder {
    std::string path;
    std::string File(const std::string& name) const { return path + "/" + name; }
  };
  const Folder a{dir_.File("a")}, b{dir_.File("b")};
  std::filesystem::create_directory(a.path);
  std::filesystem::create_directory(b.path);
  const std::string plain_a = std::string(3 << 20, 'a') + RandomBytes(5000, 2);
  const std::string plain_b = RandomBytes(1 << 20, 3) + std::string(1 << 20, 'b') + RandomBytes(1000, 4);
  WriteFile(a.File("x.txt"), plain_a);
  WriteFile(b.File("x.txt"), plain_b);
  for (ScriptedPort* p : {&port_, &other_port}) p->keys[Control::EncryptionKey] = p->keys[Control::DecryptionKey] = "k";
  window_->SetRatioIndex(1);
  other.SetRatioIndex(1);
  port_.open_answers = {a.File("x.txt")};
  port_.save_answers = {a.File("x.jmz")};
  other_port.open_answers = {b.File("x.txt")};
  other_port.save_answers = {b.File("x.jmz")};
  window_->EncryptClicked();
  other.EncryptClicked();
  WaitIdle(*window_, Control::EncryptButton);
  WaitIdle(other, Control::EncryptButton);
  EXPECT_EQ(window_->StatusText(), "加密文件 ... 已完成。 — " + dir_.File("a/x.jmz"));
  EXPECT_EQ(other.StatusText(), "加密文件 ... 已完成。 — " + dir_.File("b/x.jmz"));
  EXPECT_TRUE(port_.questions.empty());
  EXPECT_TRUE(other_port.questions.empty());
  EXPECT_EQ(TempFiles(), 0u);

  Decrypt(a.File("x.jmz"), a.File("back"));
  Decrypt(b.File("x.jmz"), b.File("back"));
  EXPECT_TRUE(Holds(a.File("back.txt"), plain_a));
  EXPECT_TRUE(Holds(b.File("back.txt"), plain_b));

}

// ---- Replacing ---------------------------------------------------------------

TEST_F(WindowLogicFiles, ACancelledReplacementLeavesTheOldFile) {
  WriteFile(dir_.File("big.bin"), RandomBytes(6 << 20, 4));
  WriteFile(dir_.File("big.bin.zak"), "old archive");
  window_->SetRatioIndex(3);
  port_.question_answers = {true};  // replace
  ClickDuringCompression(Control::EncryptButton, true);
  Encrypt(dir_.File("big.bin"), dir_.File("big.bin.zak"));
  ASSERT_TRUE(clicked_);
  EXPECT_TRUE(Holds(dir_.File("big.bin.zak"), "old archive"));
  EXPECT_EQ(FilesIn(dir_.path()), 2u);  // no staging file left behind
  port_.on_bar_position = nullptr;

  // Decompression, alone and as the second stage of a decryption.
  WriteFile(dir_.File("out"), "old output");
  clicked_ = false;
  window_->SetRatioIndex(1);
  // A typed name is the file's name, as vesk-cli's -o.
  Encrypt(dir_.File("big.bin"), dir_.File("fresh.zak"));
  ASSERT_TRUE(FileExists(dir_.File("fresh.zak")));
  port_.question_answers = {true};
  ClickDuringCompression(Control::DecryptButton, true);
  Decrypt(dir_.File("fresh.zak"), dir_.File("out"));
  ASSERT_TRUE(clicked_);
  EXPECT_TRUE(Holds(dir_.File("out"), "old output"));
  port_.on_bar_position = nullptr;

  port_.keys[Control::EncryptionKey] = port_.keys[Control::DecryptionKey] = "k";
  Encrypt(dir_.File("big.bin"), dir_.File("big.jmz"));
  ASSERT_EQ(window_->StatusText(), "加密文件 ... 已完成。 — " + dir_.File("big.jmz"));
  WriteFile(dir_.File("back.bin"), "old plain");
  clicked_ = false;
  port_.question_answers = {true};
  ClickDuringCompression(Control::DecryptButton, true);
  Decrypt(dir_.File("big.jmz"), dir_.File("back"));
  ASSERT_TRUE(clicked_);
  EXPECT_TRUE(Holds(dir_.File("back.bin"), "old plain"));
  EXPECT_EQ(FilesIn(dir_.path()), 6u);
  EXPECT_EQ(TempFiles(), 0u);
}

TEST_F(WindowLogicFiles, AFileThatAppearsAtTheTargetDuringTheCompressionIsKept) {
  // Nothing stood at the target when the command looked, so nobody agreed to
  // replace what another program puts there while the copy is compressed.
  WriteFile(dir_.File("a.txt"), std::string(300000, 't'));
  port_.keys[Control::EncryptionKey] = "k";
  window_->SetRatioIndex(2);
  bool planted = false;
  port_.on_bar_position = [&](int64_t pos) {
    if (pos <= 0 || planted) return;
    planted = true;
    WriteFile(dir_.File("a.jmz"), "someone else's");
  };
  Encrypt(dir_.File("a.txt"), dir_.File("a.jmz"));
  ASSERT_TRUE(planted);
  EXPECT_TRUE(Holds(dir_.File("a.jmz"), "someone else's"));
  EXPECT_NE(window_->StatusText(), "加密文件 ... 已完成。");
  EXPECT_EQ(TempFiles(), 0u);
  EXPECT_EQ(FilesIn(dir_.path()), 2u);  // the source and the planted file
}

TEST_F(WindowLogicFiles, DecompressedFilesTakeThePermissionsOfTheirSource) {
  WriteFile(dir_.File("p.txt"), std::string(70000, 'q'));
  ASSERT_EQ(::chmod(dir_.File("p.txt").c_str(), 0640), 0);
  window_->SetRatioIndex(2);
  Encrypt(dir_.File("p.txt"), dir_.File("p.txt.zak"));
  EXPECT_EQ(ModeOf(dir_.File("p.txt.zak")), 0640u);
  ASSERT_EQ(::chmod(dir_.File("p.txt.zak").c_str(), 0600), 0);
  Decrypt(dir_.File("p.txt.zak"), dir_.File("q.txt"));
  EXPECT_TRUE(Holds(dir_.File("q.txt"), std::string(70000, 'q')));
  EXPECT_EQ(ModeOf(dir_.File("q.txt")), 0600u);

  port_.keys[Control::EncryptionKey] = port_.keys[Control::DecryptionKey] = "k";
  Encrypt(dir_.File("p.txt"), dir_.File("p.jmz"));
  // Compressed first into a private temporary copy, the container still
  // takes the bits of the chosen file.
  EXPECT_EQ(ModeOf(dir_.File("p.jmz")), 0640u);
  ASSERT_EQ(::chmod(dir_.File("p.jmz").c_str(), 0604), 0);
  Decrypt(dir_.File("p.jmz"), dir_.File("r"));
  ASSERT_EQ(window_->StatusText(), "解密文件 ... 已完成。 — " + dir_.File("r.txt"));
  EXPECT_EQ(ModeOf(dir_.File("r.txt")), 0604u);
}

TEST_F(WindowLogicFiles, ATypedSaveNameIsTheFileWritten) {
  // The container stores ".txt"; a name typed with that extension is not
  // given it twice.
  WriteFile(dir_.File("t.txt"), "typed");
  port_.keys[Control::EncryptionKey] = port_.keys[Control::DecryptionKey] = "k";
  window_->SetRatioIndex(0);
  Encrypt(dir_.File("t.txt"), dir_.File("t.jmz"));
  Decrypt(dir_.File("t.jmz"), dir_.File("typed-ext.txt"));
  EXPECT_TRUE(Holds(dir_.File("typed-ext.txt"), "typed"));
  EXPECT_FALSE(PathExists(dir_.File("typed-ext.txt.txt")));
}

// ---- The source as its own target -------------------------------------------

TEST_F(WindowLogicFiles, NoCommandWritesOverItsOwnSource) {
  WriteFile(dir_.File("p.txt"), std::string(50000, 'p'));
  port_.keys[Control::EncryptionKey] = "inner";
  window_->SetRatioIndex(0);
  Encrypt(dir_.File("p.txt"), dir_.File("p.jmz"));
  const std::string container = ReadFile(dir_.File("p.jmz"));

  // Encrypted again onto its own name, compressed first.
  port_.keys[Control::DecryptionKey] = "inner";
  port_.keys[Control::EncryptionKey] = "outer";
  window_->SetRatioIndex(2);
  port_.question_answers = {true, true};
  Encrypt(dir_.File("p.jmz"), dir_.File("p.jmz"));
  ASSERT_FALSE(port_.messages.empty());
  EXPECT_EQ(port_.messages.back(), ReplaceRefused(dir_.File("p.jmz"), "加密文件已取消。"));
  EXPECT_TRUE(Holds(dir_.File("p.jmz"), container));
  EXPECT_EQ(port_.captions[Control::EncryptButton].back(), "加密文件");

  // Compressed onto itself: the save dialog names the source.
  port_.keys[Control::EncryptionKey] = "";
  WriteFile(dir_.File("x.zak.zak"), "source");
  Encrypt(dir_.File("x.zak.zak"), dir_.File("x.zak.zak"));
  EXPECT_EQ(port_.messages.back(), ReplaceRefused(dir_.File("x.zak.zak"), "加密文件已取消。"));
  EXPECT_TRUE(Holds(dir_.File("x.zak.zak"), "source"));

  // Decompressed onto itself, through a link.
  std::filesystem::create_symlink(dir_.File("x.zak.zak"), dir_.File("link"));
  port_.question_answers = {true};
  Decrypt(dir_.File("x.zak.zak"), dir_.File("link"));
  EXPECT_EQ(port_.messages.back(), ReplaceRefused(dir_.File("link"), "解密文件已取消。"));
  EXPECT_TRUE(Holds(dir_.File("x.zak.zak"), "source"));
  EXPECT_EQ(TempFiles(), 0u);
}

// ---- Keys and extensions GBK cannot hold --------------------------------------

TEST_F(WindowLogicFiles, KeysGbkCannotHoldAreRefusedBeforeAnythingIsChosen) {
  WriteFile(dir_.File("f.txt"), "data");
  // The decryption key is needed, and checked, only for a container: it is
  // refused once one is chosen, before the save dialog.
  WriteFile(dir_.File("c.jmz"), keyed::fixture::MakeContainer(keyed::fixture::Recipe{}, "payload"));
  window_->SetRatioIndex(0);
  for (const char* key : {"한국어키", "😀😀😀😀", "ab😀"}) {
    SCOPED_TRACE(key);
    port_.messages.clear();
    port_.open_specs.clear();
    port_.save_specs.clear();
    port_.keys[Control::EncryptionKey] = port_.keys[Control::DecryptionKey] = key;
    window_->EncryptClicked();
    EXPECT_TRUE(port_.open_specs.empty());
    port_.open_answers = {dir_.File("c.jmz")};
    window_->DecryptClicked();
    EXPECT_EQ(port_.open_specs.size(), 1u);
    EXPECT_TRUE(port_.save_specs.empty());
    port_.open_specs.clear();
    for (int i = 0; i < 6; ++i) window_->RevealKeylessItems();
    window_->KeylessEncryptCommand();
    window_->KeylessDecryptCommand();
    for (int i = 0; i < 7; ++i) window_->RevealKeylessItems();  // the 13th use starts the count again
    const std::string encrypt = "加密的密钥中有GBK编码不能表示的字符，不能使用。请改用其他字符。加密文件已取消。";
    const std::string decrypt = "解密的密钥中有GBK编码不能表示的字符，不能使用。请改用其他字符。解密文件已取消。";
    EXPECT_EQ(port_.messages, (std::vector<std::string>{encrypt, decrypt, encrypt, decrypt}));
    EXPECT_TRUE(port_.open_specs.empty());
    EXPECT_EQ(window_->KeyBytes(Control::EncryptionKey), "");  // never "?" for such a character
  }
  EXPECT_FALSE(PathExists(dir_.File("f.jmz")));
}

TEST_F(WindowLogicFiles, AnExtensionGbkCannotHoldIsStoredEmptyWithAWarning) {
  WriteFile(dir_.File("pic.😀"), "picture");
  port_.keys[Control::EncryptionKey] = port_.keys[Control::DecryptionKey] = "k";
  window_->SetRatioIndex(0);
  Encrypt(dir_.File("pic.😀"), dir_.File("pic.jmz"));
  ASSERT_EQ(window_->StatusText(), "加密文件 ... 已完成。 — " + dir_.File("pic.jmz"));
  ASSERT_EQ(port_.messages.size(), 1u);
  EXPECT_EQ(port_.messages[0], "文件扩展名“.😀”中有GBK编码不能表示的字符，加密的文件里不保存扩展名，解密后请改正文件扩展名。");
  Decrypt(dir_.File("pic.jmz"), dir_.File("back"));
  EXPECT_TRUE(Holds(dir_.File("back"), "picture"));
}

// ---- Flags across runs ------------------------------------------------------------

TEST_F(WindowLogicFiles, AFailedStartOfTheCompressionLeavesNoFlagForTheNextRun) {
  WriteFile(dir_.File("z.txt"), std::string(10000, 'z'));
  window_->SetRatioIndex(2);
  Encrypt(dir_.File("z.txt"), dir_.File("z.txt.zak"));
  ASSERT_EQ(window_->StatusText(), "进行压缩文件... 已完成。 — " + dir_.File("z.txt.zak"));

  WriteFile(dir_.File("gone.txt"), std::string(10000, 'g'));
  WriteFile(dir_.File("gone.jmz"), "old");
  port_.keys[Control::EncryptionKey] = "k";
  // The source vanishes while the replace question is open: the compression
  // cannot start.
  port_.on_question = [this](const std::string&) { std::filesystem::remove(dir_.File("gone.txt")); };
  port_.question_answers = {true};
  Encrypt(dir_.File("gone.txt"), dir_.File("gone.jmz"));
  port_.on_question = nullptr;
  EXPECT_EQ(port_.captions[Control::EncryptButton].back(), "加密文件");
  EXPECT_EQ(TempFiles(), 0u);

  // The next decompression's output stays.
  port_.keys[Control::DecryptionKey] = "k";
  Decrypt(dir_.File("z.txt.zak"), dir_.File("z.out"));
  EXPECT_EQ(window_->StatusText(), "进行解压缩文件... 已完成。 — " + dir_.File("z.out"));
  EXPECT_TRUE(Holds(dir_.File("z.out"), std::string(10000, 'z')));
}

// ---- Cancels ------------------------------------------------------------------------

TEST_F(WindowLogicFiles, CancellingTheCompressionStageStopsItAndSaysOnlyCancelled) {
  WriteFile(dir_.File("big.bin"), RandomBytes(24 << 20, 3));
  port_.keys[Control::EncryptionKey] = "k";
  window_->SetRatioIndex(3);
  int64_t last = 0;
  ClickDuringCompression(Control::EncryptButton, true);
  auto click = port_.on_bar_position;
  port_.on_bar_position = [&](int64_t pos) {
    last = pos;
    click(pos);
  };
  Encrypt(dir_.File("big.bin"), dir_.File("big.jmz"));
  ASSERT_TRUE(clicked_);
  EXPECT_LT(last, 5000);  // the compression did not run to its end (half of the bar)
  EXPECT_EQ(window_->StatusText(), "加密文件已取消。");
  EXPECT_TRUE(port_.messages.empty()) << port_.messages[0];
  EXPECT_FALSE(PathExists(dir_.File("big.jmz")));
  EXPECT_EQ(TempFiles(), 0u);
}

TEST_F(WindowLogicFiles, AUsersCancelOfADecryptionIsNoError) {
  WriteFile(dir_.File("big.bin"), RandomBytes(32 << 20, 6));
  port_.keys[Control::EncryptionKey] = port_.keys[Control::DecryptionKey] = "k";
  window_->SetRatioIndex(0);
  Encrypt(dir_.File("big.bin"), dir_.File("big.jmz"));
  ASSERT_EQ(window_->StatusText(), "加密文件 ... 已完成。 — " + dir_.File("big.jmz"));
  ClickOnProgress(Control::DecryptButton, true, [] { return true; });
  Decrypt(dir_.File("big.jmz"), dir_.File("out"));
  ASSERT_TRUE(clicked_);
  EXPECT_TRUE(port_.messages.empty()) << port_.messages[0];
  EXPECT_EQ(window_->StatusText(), "解密文件已取消。");
  EXPECT_FALSE(PathExists(dir_.File("out.bin")));

  // A decompression of its own.
  port_.on_bar_position = nullptr;
  port_.keys[Control::EncryptionKey] = "";
  window_->SetRatioIndex(1);
  Encrypt(dir_.File("big.bin"), dir_.File("big.zak"));
  clicked_ = false;
  ClickDuringCompression(Control::DecryptButton, true);
  Decrypt(dir_.File("big.zak"), dir_.File("unzipped"));
  ASSERT_TRUE(clicked_);
  EXPECT_TRUE(port_.messages.empty()) << port_.messages[0];
  EXPECT_EQ(window_->StatusText(), "解密文件已取消。");
  EXPECT_FALSE(PathExists(dir_.File("unzipped")));
}

TEST_F(WindowLogicFiles, ACancelAnsweredAfterTheRunEndedLeavesItComplete) {
  WriteFile(dir_.File("f.bin"), RandomBytes(3 << 20, 8));
  window_->SetRatioIndex(1);
  // The question is open while the run ends: a modal box keeps the events
  // flowing, so the end arrives before the answer.
  port_.on_question = [this](const std::string&) { PumpUntilIdle(Control::EncryptButton); };
  ClickOnProgress(Control::EncryptButton, true, [] { return true; }, /*hold_until_done=*/false);
  Encrypt(dir_.File("f.bin"), dir_.File("f.bin.zak"));
  ASSERT_TRUE(clicked_);
  EXPECT_EQ(window_->StatusText(), "进行压缩文件... 已完成。 — " + dir_.File("f.bin.zak"));
  EXPECT_TRUE(FileExists(dir_.File("f.bin.zak")));

  for (int i = 0; i < 6; ++i) window_->RevealKeylessItems();
  port_.keys[Control::EncryptionKey] = "k";
  port_.on_question = [this](const std::string&) { PumpUntilIdle(Control::KeylessEncryptItem); };
  clicked_ = false;
  ClickOnProgress(Control::KeylessEncryptItem, true, [] { return true; }, /*hold_until_done=*/false);
  port_.open_answers = {dir_.File("f.bin")};
  port_.save_answers = {dir_.File("f.jmz")};
  window_->KeylessEncryptCommand();
  WaitIdle(Control::KeylessEncryptItem);
  ASSERT_TRUE(clicked_);
  EXPECT_EQ(window_->StatusText(), "加密(不保存密钥的)文件 ... 已完成。 — " + dir_.File("f.jmz"));
  EXPECT_TRUE(FileExists(dir_.File("f.jmz")));
}

TEST_F(WindowLogicFiles, EveryCommandItemIsDisabledWhileAnyCommandRuns) {
  WriteFile(dir_.File("big.bin"), RandomBytes(8 << 20, 9));
  for (int i = 0; i < 6; ++i) window_->RevealKeylessItems();
  port_.keys[Control::EncryptionKey] = "k";
  window_->SetRatioIndex(2);
  std::map<Control, bool> seen;
  bool revealed_during_run = false;
  port_.on_bar_position = [&](int64_t pos) {
    if (pos <= 0 || !seen.empty()) return;
    // Hiding and showing the items again while the command runs.
    for (int i = 0; i < 13; ++i) window_->RevealKeylessItems();
    revealed_during_run = window_->KeylessItemsShown();
    seen = port_.enabled;
  };
  Encrypt(dir_.File("big.bin"), dir_.File("big.jmz"));
  ASSERT_TRUE(revealed_during_run);
  for (Control c : {Control::DecryptButton, Control::CreateSelfDecryptingButton, Control::ShredItem, Control::KeylessEncryptItem,
                    Control::KeylessDecryptItem, Control::EncryptionKey, Control::DecryptionKey}) {
    EXPECT_FALSE(seen[c]) << static_cast<int>(c);
  }
  EXPECT_TRUE(seen[Control::EncryptButton]);
  for (Control c : {Control::EncryptButton, Control::DecryptButton, Control::ShredItem, Control::KeylessEncryptItem,
                    Control::KeylessDecryptItem}) {
    EXPECT_TRUE(port_.enabled[c]) << static_cast<int>(c);
  }

  // A key-less command: its own item is its cancel, everything else waits.
  seen.clear();
  port_.open_answers = {dir_.File("big.bin")};
  port_.save_answers = {dir_.File("k.jmz")};
  port_.on_bar_position = [&](int64_t pos) {
    if (pos > 0 && seen.empty()) seen = port_.enabled;
  };
  window_->KeylessEncryptCommand();
  WaitIdle(Control::KeylessEncryptItem);
  EXPECT_TRUE(seen[Control::KeylessEncryptItem]);
  for (Control c : {Control::EncryptButton, Control::DecryptButton, Control::ShredItem, Control::KeylessDecryptItem}) {
    EXPECT_FALSE(seen[c]) << static_cast<int>(c);
  }
}

// ---- Failures that are no damaged stream --------------------------------------------

TEST_F(WindowLogicFiles, AMissingTemporaryFolderIsNamedAsSuch) {
  WriteFile(dir_.File("f.txt"), std::string(10000, 'f'));
  port_.keys[Control::EncryptionKey] = "k";
  window_->SetRatioIndex(2);
  setenv("TMPDIR", dir_.File("no-such-folder").c_str(), 1);
  Encrypt(dir_.File("f.txt"), dir_.File("f.jmz"));
  ASSERT_EQ(port_.messages.size(), 1u);
  EXPECT_EQ(port_.messages[0], "进行压缩文件...不能完成！已经取消。无法写入文件夹“" + dir_.File("no-such-folder/") + "”。");
  EXPECT_EQ(port_.captions[Control::EncryptButton].back(), "加密文件");
  EXPECT_FALSE(PathExists(dir_.File("f.jmz")));
}

TEST_F(WindowLogicFiles, AReadOrWriteFailureOfTheCompressionIsReportedAndLeavesNothing) {
  WriteFile(dir_.File("f.txt"), std::string(300000, 'f'));
  WriteFile(dir_.File("f.jmz"), "old container");
  port_.keys[Control::EncryptionKey] = "k";
  window_->SetRatioIndex(2);
  const std::vector<FaultHooks> faults = {{testing::faults::FailWriteAt(100, EIO), nullptr},
                                          {nullptr, testing::faults::FailReadAt(70000, EIO)}};
  for (const FaultHooks& fault : faults) {
    port_.messages.clear();
    port_.question_answers = {true};  // replace f.jmz
    window_->SetFaultHooks(fault);
    Encrypt(dir_.File("f.txt"), dir_.File("f.jmz"));
    EXPECT_EQ(port_.messages, std::vector<std::string>{"进行压缩文件...不能完成！已经取消。读写文件出错。"});
    EXPECT_TRUE(Holds(dir_.File("f.jmz"), "old container"));
    EXPECT_EQ(FilesIn(dir_.path()), 2u);
    EXPECT_EQ(TempFiles(), 0u);
    EXPECT_EQ(port_.captions[Control::EncryptButton].back(), "加密文件");
  }
}

TEST_F(WindowLogicFiles, AFullDiskIsReportedAsSuchAndKeepsTheOldFile) {
  testing::SmallDisk disk(256 << 10);
  if (!disk.Ready()) GTEST_SKIP() << "cannot mount a small file system here";
  const std::string noise = RandomBytes(1 << 20, 10);
  WriteFile(dir_.File("noise.bin"), noise);
  WriteFile(disk.File("noise.bin.zak"), "old archive");
  window_->SetRatioIndex(1);
  port_.question_answers = {true};
  Encrypt(dir_.File("noise.bin"), disk.File("noise.bin.zak"));
  ASSERT_EQ(port_.messages.size(), 1u);
  EXPECT_EQ(port_.messages[0], "进行压缩文件...不能完成！已经取消。磁盘空间不足。");
  EXPECT_TRUE(Holds(disk.File("noise.bin.zak"), "old archive"));
  EXPECT_EQ(FilesIn(disk.path()), 1u);

  Encrypt(dir_.File("noise.bin"), dir_.File("noise.bin.zak"));
  ASSERT_EQ(window_->StatusText(), "进行压缩文件... 已完成。 — " + dir_.File("noise.bin.zak"));
  port_.messages.clear();
  WriteFile(disk.File("out"), "old output");
  port_.question_answers = {true};
  Decrypt(dir_.File("noise.bin.zak"), disk.File("out"));
  ASSERT_EQ(port_.messages.size(), 1u);
  EXPECT_EQ(port_.messages[0], "进行解压缩文件...不能完成！已经取消。磁盘空间不足。");
  EXPECT_TRUE(Holds(disk.File("out"), "old output"));
  EXPECT_EQ(FilesIn(disk.path()), 2u);
  EXPECT_EQ(port_.captions[Control::DecryptButton].back(), "解密文件");
}

}  // namespace
}  // namespace vesk
