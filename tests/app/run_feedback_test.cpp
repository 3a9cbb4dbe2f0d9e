// What the window shows of a run through a scripted port: one bar over the
// stages of a run, a cancel question that closes when its run ends, a
// cancelled self-decrypt as clean as a cancelled decrypt, the state while a
// failure is shown, and keys checked only where they are needed, before the
// dialogs that would be asked in vain.
#include <filesystem>

#include <gtest/gtest.h>

#include "app/window_logic_fixture.h"
#include "crypto/keyed/container_fixture.h"
#include "platform/file_io.h"
#include "selfextract/layout.h"
#include "selfextract/sfx_engine.h"

namespace vesk {
namespace {

using keyed::fixture::MakeContainer;
using keyed::fixture::Recipe;
using testing::RandomBytes;
using testing::ReadFile;
using testing::WindowLogicTest;
using testing::WriteFile;

// Text-like bytes: words from a small vocabulary, so that zlib has work to
// do and the compressed copy is smaller than the source.
std::string Words(std::size_t n, uint32_t seed) {
  static const char* const kWords[] = {"文件 ", "加密 ", "alpha ", "beta ", "gamma\n", "delta ", "1234 "};
  std::string text;
  uint32_t state = seed;
  while (text.size() < n) {
    state = state * 1664525u + 1013904223u;
    text += kWords[(state >> 16) % 7];
  }
  text.resize(n);
  return text;
}

class RunFeedback : public WindowLogicTest {
 protected:
  // The bar positions with the stage each was shown in.
  struct Move {
    std::size_t stage;
    int64_t position;
  };
  void RecordMoves() {
    port_.bar_ranges.clear();
    port_.bar_positions.clear();
    port_.statuses.clear();
    moves_.clear();
    port_.on_bar_position = [this](int64_t position) {
      std::lock_guard lock(moves_mutex_);
      moves_.push_back({window_->CurrentStage(), position});
    };
  }
  // One range for the whole run (the stages' own ranges stay inside), the
  // bar never back and full at the end; each stage within its share, and a
  // position strictly inside the last share (and the first, when
  // `first_moves`: a check of a small file may be over before it reports).
  void ExpectOneBar(const std::vector<std::pair<int64_t, int64_t>>& shares, bool first_moves = true) {
    EXPECT_EQ(port_.bar_ranges, std::vector<int64_t>{10000});
    EXPECT_TRUE(std::is_sorted(port_.bar_positions.begin(), port_.bar_positions.end()));
    ASSERT_FALSE(port_.bar_positions.empty());
    EXPECT_EQ(port_.bar_positions.back(), 10000);
    bool inside_first = false, inside_last = false;
    for (const Move& m : moves_) {
      ASSERT_LT(m.stage, shares.size());
      const auto& [from, to] = shares[m.stage];
      EXPECT_GE(m.position, from) << "stage " << m.stage;
      EXPECT_LE(m.position, to) << "stage " << m.stage;
      const bool inside = m.position > from && m.position < to;
      inside_first = inside_first || (inside && m.stage == 0);
      inside_last = inside_last || (inside && m.stage + 1 == shares.size());
    }
    EXPECT_TRUE(inside_first || !first_moves);
    EXPECT_TRUE(inside_last);
  }
  std::size_t StatusIndex(const std::string& text) {
    return static_cast<std::size_t>(std::find(port_.statuses.begin(), port_.statuses.end(), text) -
                                    port_.statuses.begin());
  }
  // While a question is open, the window's events go on (a modal box runs
  // them): pumps until the question is closed. False after 30 seconds.
  bool PumpUntilQuestionClosed() {
    const auto closed = [&] { return port_.WaitQuestionClosed(std::chrono::milliseconds(0)); };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!closed() && std::chrono::steady_clock::now() < deadline) ui_.RunUntil(closed, std::chrono::milliseconds(5));
    return closed();
  }
  // A container of `plain` made through the window with compression `level`.
  void MakeCompressedContainer(const std::string& plain, const std::string& path, int level) {
    WriteFile(dir_.File("source.txt"), plain);
    port_.keys[Control::EncryptionKey] = port_.keys[Control::DecryptionKey] = "k";
    window_->SetRatioIndex(level);
    Encrypt(dir_.File("source.txt"), path);
    ASSERT_EQ(window_->StatusText(), "加密文件 ... 已完成。 — " + path);
  }

  std::mutex moves_mutex_;
  std::vector<Move> moves_;
};

// ---- One bar over the stages of a run ---------------------------------------------

TEST_F(RunFeedback, EachTwoStageRunFillsOneBarForwardAndNamesItsStages) {
  // Compress, then encrypt: compressing reads the source, encrypting its
  // compressed copy, taken to be as large: half the bar each.
  const std::string plain = Words(8 << 20, 1);
  WriteFile(dir_.File("a.txt"), plain);
  port_.keys[Control::EncryptionKey] = port_.keys[Control::DecryptionKey] = "k";
  window_->SetRatioIndex(1);
  const std::vector<std::pair<int64_t, int64_t>> halves = {{0, 5000}, {5000, 10000}};
  RecordMoves();
  Encrypt(dir_.File("a.txt"), dir_.File("a.jmz"));
  ASSERT_EQ(window_->StatusText(), "加密文件 ... 已完成。 — " + dir_.File("a.jmz"));
  ExpectOneBar(halves);
  EXPECT_LT(StatusIndex("进行压缩文件..."), StatusIndex("进行加密文件..."));

  // Decrypt, then decompress: deciphering reads the payload once, the
  // decompression reads it twice (to check it, to write it out).
  RecordMoves();
  Decrypt(dir_.File("a.jmz"), dir_.File("a-back"));
  ASSERT_EQ(window_->StatusText(), "解密文件 ... 已完成。 — " + dir_.File("a-back.txt"));
  EXPECT_EQ(ReadFile(dir_.File("a-back.txt")), plain);
  ExpectOneBar({{0, 3333}, {3333, 6666}, {6666, 10000}});
  EXPECT_LT(StatusIndex("进行解密文件..."), StatusIndex("进行解压缩文件..."));
  EXPECT_EQ(TempFiles(), 0u);
}

// ---- The cancel question and the end of its run -----------------------------------

TEST_F(RunFeedback, TheCancelQuestionClosesWhenAWorkersRunEnds) {
  WriteFile(dir_.File("big.bin"), RandomBytes(32 << 20, 4));
  port_.keys[Control::EncryptionKey] = "k";
  window_->SetRatioIndex(0);
  // The question stays open until something closes it; the answer Yes
  // would cancel a run that is still going.
  port_.on_question = [this](const std::string&) { port_.WaitQuestionClosed(std::chrono::seconds(30)); };
  ClickOnProgress(Control::EncryptButton, true, [] { return true; }, /*hold_until_done=*/false);
  Encrypt(dir_.File("big.bin"), dir_.File("big.jmz"));
  ASSERT_TRUE(clicked_);
  ASSERT_EQ(port_.questions, std::vector<std::string>{"真的要取消加密：“" + dir_.File("big.bin") + "”吗?"});
  EXPECT_EQ(port_.questions_closed, 1);
  EXPECT_EQ(window_->StatusText(), "加密文件 ... 已完成。 — " + dir_.File("big.jmz"));
  EXPECT_EQ(window_->Result().outcome, Outcome::kDone);
  EXPECT_EQ(FileSizeOf(dir_.File("big.jmz")), 33554485);  // 32 MiB and the 53 bytes of header and key
  EXPECT_EQ(port_.captions[Control::EncryptButton].back(), "加密文件");
}

TEST_F(RunFeedback, TheCancelQuestionClosesWhenADecompressionEnds) {
  const std::string plain = Words(8 << 20, 5);
  MakeCompressedContainer(plain, dir_.File("d.jmz"), 1);
  port_.on_question = [this](const std::string&) { ASSERT_TRUE(PumpUntilQuestionClosed()); };
  ClickOnProgress(Control::DecryptButton, true, [] { return true; }, /*hold_until_done=*/false);
  Decrypt(dir_.File("d.jmz"), dir_.File("d-back"));
  ASSERT_TRUE(clicked_);
  EXPECT_EQ(port_.questions_closed, 1);
  EXPECT_EQ(window_->StatusText(), "解密文件 ... 已完成。 — " + dir_.File("d-back.txt"));
  EXPECT_EQ(window_->Result().outcome, Outcome::kDone);
  EXPECT_EQ(ReadFile(dir_.File("d-back.txt")), plain);
  EXPECT_TRUE(port_.messages.empty()) << port_.messages[0];
}

// ---- A cancelled self-decrypt ---------------------------------------------------------

TEST_F(RunFeedback, ACancelledSelfDecryptIsCleanAndSilent) {
  const std::string plain = Words(8 << 20, 7);
  MakeCompressedContainer(plain, dir_.File("doc.jmz"), 1);
  // A program file carrying the container after a stand-in image.
  constexpr int64_t kImage = 2000;
  const std::string container = ReadFile(dir_.File("doc.jmz"));
  WriteFile(dir_.File("program"), RandomBytes(kImage, 8) +
                                      selfextract::EncodePayloadHeader(static_cast<int64_t>(container.size()),
                                                                       selfextract::FitPayloadName("doc.jmz")) +
                                      container);
  window_->ReadSelfDecryptInfo(WindowLogic::OwnFile{dir_.File("program"), kImage});
  const std::string out = dir_.File("out");
  std::filesystem::create_directory(out);

  // Cancelled while the deciphered copy is decompressed.
  ClickOnProgress(Control::SelfDecryptButton, true, [this] { return window_->StatusText() == "进行解压缩文件..."; });
  port_.save_answers = {out + "/doc"};
  window_->SelfDecryptClicked();
  WaitIdle(Control::SelfDecryptButton);
  ASSERT_TRUE(clicked_);
  EXPECT_EQ(port_.questions.back(), "真的要取消自解密：“doc.jmz”吗?");
  EXPECT_TRUE(port_.messages.empty()) << port_.messages[0];
  EXPECT_EQ(window_->StatusText(), "自解密文件已取消。");
  EXPECT_EQ(window_->Result().outcome, Outcome::kCancelled);
  EXPECT_EQ(TempFiles(), 0u);  // the temporary compressed copy is gone
  EXPECT_EQ(FilesIn(out), 0u);
  EXPECT_EQ(port_.captions[Control::SelfDecryptButton].back(), "自解密");
  EXPECT_TRUE(port_.enabled[Control::EncryptButton]);
  EXPECT_TRUE(port_.enabled[Control::SelfDecryptButton]);
}

TEST_F(RunFeedback, AFailureOrRefusalIsShownWithTheCommandIdleAndItsTemporaryFileGone) {
  // What the window shows while the message box is open.
  struct Seen {
    int tag = -1;
    std::string caption;
    bool encrypt_enabled = false;
    std::size_t temp_files = 99;
  } seen;
  port_.on_message = [&](const std::string&) {
    seen = {window_->Tag(Control::DecryptButton), port_.captions[Control::DecryptButton].back(),
            port_.enabled[Control::EncryptButton], TempFiles()};
  };
  const auto expect_idle = [&] {
    EXPECT_EQ(seen.tag, 0);
    EXPECT_EQ(seen.caption, "解密文件");
    EXPECT_TRUE(seen.encrypt_enabled);
    EXPECT_EQ(seen.temp_files, 0u);
  };
  // A container that says it holds compressed data but does not: its
  // decompression stage fails.
  Recipe recipe;
  recipe.key = "k";
  recipe.pre_zip_level = 2;
  WriteFile(dir_.File("bad.jmz"), MakeContainer(recipe, RandomBytes(300000, 9)));
  port_.keys[Control::DecryptionKey] = "k";
  Decrypt(dir_.File("bad.jmz"), dir_.File("bad-out"));
  ASSERT_EQ(port_.messages, std::vector<std::string>{"进行解压缩文件...不能完成！已经取消。可能文件未经此软件压缩过。"});
  expect_idle();
  EXPECT_EQ(window_->Result().outcome, Outcome::kFailed);
  // A wrong key, refused by the decryption engine from its worker.
  port_.messages.clear();
  port_.keys[Control::DecryptionKey] = "wrong";
  Decrypt(dir_.File("bad.jmz"), dir_.File("bad-out"));
  ASSERT_EQ(port_.messages, std::vector<std::string>{"解密的密钥与加密的文件里的密钥不相同,不能解密!"});
  expect_idle();
  EXPECT_EQ(window_->Result().outcome, Outcome::kRefused);
}

TEST_F(RunFeedback, TheDecryptionKeyIsNeededOnlyForAContainer) {
  // Large enough for the output pass to move the bar before its end.
  const std::string plain = Words(12 << 20, 10);
  WriteFile(dir_.File("e.txt"), plain);
  window_->SetRatioIndex(2);
  Encrypt(dir_.File("e.txt"), dir_.File("e.zak"));
  ASSERT_EQ(window_->StatusText(), "进行压缩文件... 已完成。 — " + dir_.File("e.zak"));
  // A compressed file is decompressed, with an empty key box as with one
  // holding a key no container could use, on one bar over its check and
  // its output.
  for (const char* key : {"", "한국어"}) {
    SCOPED_TRACE(key);
    port_.keys[Control::DecryptionKey] = key;
    RecordMoves();
    Decrypt(dir_.File("e.zak"), dir_.File("e-back"));
    EXPECT_TRUE(port_.messages.empty()) << port_.messages[0];
    EXPECT_EQ(ReadFile(dir_.File("e-back")), plain);
    EXPECT_EQ(window_->Result().outcome, Outcome::kDone);
    ExpectOneBar({{0, 5000}, {5000, 10000}}, /*first_moves=*/false);
    std::filesystem::remove(dir_.File("e-back"));
  }
  // A container is refused before the save dialog.
  WriteFile(dir_.File("f.jmz"), MakeContainer(Recipe{}, RandomBytes(5000, 11)));
  port_.keys[Control::DecryptionKey] = "";
  port_.save_specs.clear();
  port_.open_answers = {dir_.File("f.jmz")};
  window_->DecryptClicked();
  WaitIdle(Control::DecryptButton);
  EXPECT_EQ(port_.messages,
            std::vector<std::string>{"不能解密!解密密钥是空的,请输入已加密文件的解密密钥。解密文件已取消。"});
  EXPECT_TRUE(port_.save_specs.empty());
  EXPECT_EQ(window_->Result().outcome, Outcome::kRefused);
  EXPECT_EQ(FilesIn(dir_.path()), 3u);  // e.txt, e.zak, f.jmz
}

}  // namespace
}  // namespace vesk
