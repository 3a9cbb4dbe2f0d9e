// The create, self-decrypt and separate commands of the window logic with a
// scripted port: dialogs, questions, captions, texts and the files written.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "app/window_logic.h"
#include "crypto/keyed/container_fixture.h"
#include "crypto/keyless/engine.h"
#include "platform/file_io.h"
#include "platform/staged_file.h"
#include "selfextract/layout.h"
#include "selfextract/sfx_engine.h"
#include "selfextract/texts.h"
#include "support/process.h"
#include "support/scripted_port.h"
#include "support/temp_dir.h"
#include "threads/queued_ui_thread.h"

namespace vesk {
namespace {

using keyed::fixture::MakeContainer;
using keyed::fixture::Recipe;
using testing::RandomBytes;
using testing::ReadFile;
using testing::ScriptedPort;
using testing::TempDir;
using testing::WriteFile;

constexpr int64_t kImage = 2000;  // a stand-in program image keeps the files small

std::string ReplaceQuestion(const std::string& path) { return path + " 文件已经存在,是否替换? 否 则取消。"; }

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st.st_mode & 0777;
}

class SelfExtract : public ::testing::Test {
 protected:
  SelfExtract() {
    setenv("TMPDIR", tmp_.path().c_str(), 1);
    window_ = std::make_unique<WindowLogic>(port_, ui_);
    window_->SetCommandState(Operation::MenuCommand, true);
    // The stand-in small program the create command copies: only its image
    // goes into a new file.
    WriteFile(sfx_, image_ + "bytes behind the image");
    window_->SetSfxProgram({sfx_, kImage});
  }
  ~SelfExtract() override {
    window_.reset();
    unsetenv("TMPDIR");
  }

  // The program file the window reads at start-up: the image, and a payload
  // when `container` is given.
  void OwnFile(const std::optional<std::string>& container = std::nullopt, const std::string& name = "报告.jmz",
               std::optional<int64_t> stored_size = std::nullopt, const std::string& appended = "") {
    std::string bytes = image_;
    if (container) {
      bytes += selfextract::EncodePayloadHeader(stored_size.value_or(static_cast<int64_t>(container->size())),
                                                selfextract::FitPayloadName(name)) +
               *container + appended;
    }
    WriteFile(program_, bytes);
    window_->ReadSelfDecryptInfo(WindowLogic::OwnFile{program_, kImage});
  }

  void WaitIdle(Control busy) {
    auto idle = [&] { return window_->Tag(busy) == 0 && RunningWorkers() == 0; };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!idle() && std::chrono::steady_clock::now() < deadline) ui_.RunUntil(idle, std::chrono::milliseconds(5));
    ASSERT_TRUE(idle());
  }
  void Click(Control button) {
    switch (button) {
      case Control::CreateSelfDecryptingButton: window_->CreateSelfDecryptingClicked(); break;
      case Control::SelfDecryptButton: window_->SelfDecryptClicked(); break;
      default: window_->SeparateClicked(); break;
    }
  }
  // At the worker's first bar move, clicks `button` again on the user-interface
  // thread, answers its cancel question Yes, and lets the worker go on.
  void CancelAtFirstStep(Control button) {
    port_.on_bar_position = [this, button](int64_t position) {
      if (position <= 0 || cancelled_.exchange(true)) return;
      port_.question_answers.push_back(true);
      ui_.Synchronize([this, button] { Click(button); });
    };
  }
  std::size_t FilesIn(const std::string& folder) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
  }

  TempDir dir_, out_, tmp_;
  const std::string image_ = RandomBytes(kImage, 1);
  const std::string program_ = dir_.File("program");
  const std::string sfx_ = dir_.File("vesk-sfx");
  ScriptedPort port_;
  QueuedUiThread ui_;
  std::unique_ptr<WindowLogic> window_;
  std::atomic<bool> cancelled_{false};
};

// ---- Create ------------------------------------------------------------------

TEST_F(SelfExtract, CreateAsksItsDialogsAndWritesAnExecutable) {
  // The running program is itself a self-decrypting file: the new one gets
  // the small program's image and its own payload only.
  OwnFile(MakeContainer(Recipe{}, "old payload"), "old.jmz");
  const std::string container = MakeContainer(Recipe{}, RandomBytes(5000, 2));
  WriteFile(dir_.File("报告.jmz"), container);
  WriteFile(dir_.File("dropped.jmz"), container);
  window_->SetHintText(Hint::Source, dir_.File("dropped.jmz"));

  port_.open_answers = {dir_.File("报告.jmz")};
  port_.save_answers = {out_.File("发给你.bin")};  // the extension becomes ".run"
  window_->CreateSelfDecryptingClicked();
  WaitIdle(Control::CreateSelfDecryptingButton);

  ASSERT_EQ(port_.open_specs.size(), 1u);
  EXPECT_EQ(port_.open_specs[0].filter, "jmz加密文件(*.jmz)|*.jmz|全部文件(*.*)|*.*");
  EXPECT_EQ(port_.open_specs[0].filter_index, 1);
  EXPECT_EQ(port_.open_specs[0].file_name, dir_.File("dropped.jmz"));  // the dropped file, preselected
  EXPECT_EQ(port_.open_specs[0].title, "选择已加密文件创建自解密文件");
  ASSERT_EQ(port_.save_specs.size(), 1u);
  EXPECT_EQ(port_.save_specs[0].filter, "自解密文件(*.run)|*.run|全部文件(*.*)|*.*");
  EXPECT_EQ(port_.save_specs[0].filter_index, 1);
  EXPECT_EQ(port_.save_specs[0].file_name, dir_.File("报告.run"));
  EXPECT_EQ(port_.save_specs[0].title, "创建自解密后的文件保存为");

  const std::string exe = out_.File("发给你.run");
  // The payload header: the container's 5053 bytes as 8 bytes little-endian,
  // the name's length and GBK bytes, zeros to 259 bytes.
  ASSERT_EQ(container.size(), 5053u);
  const std::string header = std::string("\xBD\x13\0\0\0\0\0\0\x08" "\xB1\xA8\xB8\xE6.jmz", 17) + std::string(242, '\0');
  EXPECT_EQ(ReadFile(exe), image_ + header + container);
  EXPECT_EQ(ModeOf(exe), DefaultProgramMode());
  EXPECT_EQ(port_.captions[Control::CreateSelfDecryptingButton], (std::vector<std::string>{"取消创建", "创建自解密"}));
  EXPECT_EQ(window_->StatusText(), "创建自解密文件已完成。（" + exe + "）");
  EXPECT_EQ(window_->HintText(Hint::Output), "创建自解密后的文件：" + exe);
  EXPECT_EQ(window_->HintText(Hint::Source), "进行创建自解密的文件：" + dir_.File("报告.jmz"));
  EXPECT_TRUE(port_.messages.empty());
  // The self-decrypt commands of this self-decrypting program stay usable.
  EXPECT_TRUE(port_.enabled[Control::SelfDecryptButton]);
}

TEST_F(SelfExtract, OnlyKeyedContainersOfOneByteTo4GiBAreWrapped) {
  OwnFile();
  const std::string not_keyed = "文件未经此软件加密或者是另外(不保存密钥)加密的，不能创建自解密文件!";
  WriteFile(dir_.File("plain.txt"), RandomBytes(4000, 3));
  keyless::KeylessJob job;
  job.key = "k";
  job.source_path = dir_.File("plain.txt");
  job.target_path = dir_.File("keyless.jmz");
  RunContext context{*window_, *window_, {}};
  keyless::EncryptKeyless(job, context);
  ASSERT_TRUE(FileExists(dir_.File("keyless.jmz")));
  WriteFile(dir_.File("empty.jmz"), "");
  for (const char* size_name : {"4g.jmz", "4g1.jmz"}) {
    OutputFile f;
    f.CreateNew(dir_.File(size_name));
    f.Close();
  }
  ASSERT_EQ(::truncate(dir_.File("4g.jmz").c_str(), int64_t{1} << 32), 0);
  ASSERT_EQ(::truncate(dir_.File("4g1.jmz").c_str(), (int64_t{1} << 32) + 1), 0);

  const std::pair<const char*, std::string> cases[] = {
      {"keyless.jmz", not_keyed},
      {"plain.txt", not_keyed},
      {"empty.jmz", "文件是空的，不需要创建自解密文件!创建自解密文件已取消。"},
      {"4g1.jmz", "文件大于4GB，不能创建自解密文件!创建自解密文件已取消。"},
      {"4g.jmz", not_keyed},  // exactly 4 GiB is accepted as a size
  };
  for (const auto& [name, message] : cases) {
    port_.messages.clear();
    port_.open_answers = {dir_.File(name)};  // refused before the save dialog
    window_->CreateSelfDecryptingClicked();
    EXPECT_EQ(port_.messages, std::vector<std::string>{message}) << name;
    EXPECT_EQ(window_->Tag(Control::CreateSelfDecryptingButton), 0);
  }
  EXPECT_TRUE(port_.save_specs.empty());  // refused before the save dialog
  EXPECT_EQ(FilesIn(out_.path()), 0u);
}

TEST_F(SelfExtract, CreateRefusalsAtTheSaveStepWriteNothing) {
  OwnFile();
  const std::string container = MakeContainer(Recipe{}, RandomBytes(2000, 4));
  WriteFile(dir_.File("a.jmz"), container);

  // The open dialog cancelled: nothing at all; the save dialog cancelled: the status says so.
  port_.open_answers = {std::nullopt};
  window_->CreateSelfDecryptingClicked();
  EXPECT_EQ(window_->StatusText(), "");
  port_.open_answers = {dir_.File("a.jmz")};
  port_.save_answers = {std::nullopt};
  window_->CreateSelfDecryptingClicked();
  EXPECT_EQ(window_->StatusText(), "创建自解密文件已取消。");

  // No to the replace question.
  WriteFile(out_.File("a.run"), "old");
  port_.open_answers = {dir_.File("a.jmz")};
  port_.save_answers = {out_.File("a")};
  port_.question_answers = {false};
  window_->CreateSelfDecryptingClicked();
  EXPECT_EQ(port_.questions.back(), ReplaceQuestion(out_.File("a.run")));
  EXPECT_EQ(port_.question_captions.back(), "替换文件");
  EXPECT_EQ(window_->StatusText(), "创建自解密文件已取消。");
  EXPECT_EQ(ReadFile(out_.File("a.run")), "old");

  // A container named ".run" wrapped onto itself, and the program file as
  // the target: refused even after Yes.
  WriteFile(dir_.File("self.run"), container);
  for (const auto& [source, target] : {std::pair{dir_.File("self.run"), dir_.File("self.run")},
                                       std::pair{dir_.File("a.jmz"), program_ + ".run"}}) {
    if (target == program_ + ".run") {
      std::filesystem::rename(program_, target);
      window_->ReadSelfDecryptInfo(WindowLogic::OwnFile{target, kImage});
    }
    port_.open_answers = {source};
    port_.save_answers = {target};
    port_.question_answers = {true};
    port_.messages.clear();
    window_->CreateSelfDecryptingClicked();
    WaitIdle(Control::CreateSelfDecryptingButton);
    EXPECT_EQ(port_.messages, std::vector<std::string>{"替换删除文件“" + target +
                                                       "”失败！文件正在使用中或者有只读属性等。创建自解密文件已取消。"});
  }
  EXPECT_EQ(ReadFile(dir_.File("self.run")), container);
  EXPECT_EQ(ReadFile(program_ + ".run"), image_);
}

TEST_F(SelfExtract, CancellingCreateLeavesNoOutput) {
  OwnFile();
  const std::string source = dir_.File("big.jmz");
  WriteFile(source, MakeContainer(Recipe{}, RandomBytes(4 << 20, 5)));
  WriteFile(out_.File("big.run"), "old");
  CancelAtFirstStep(Control::CreateSelfDecryptingButton);
  port_.open_answers = {source};
  port_.save_answers = {out_.File("big.run")};
  port_.question_answers = {true};  // replace
  window_->CreateSelfDecryptingClicked();
  WaitIdle(Control::CreateSelfDecryptingButton);
  ASSERT_TRUE(cancelled_);
  EXPECT_EQ(port_.questions.back(), "真的要取消：“" + source + "”创建自解密文件吗?");
  EXPECT_EQ(port_.question_captions.back(), "取消创建");
  EXPECT_EQ(ReadFile(out_.File("big.run")), "old");
  EXPECT_EQ(FilesIn(out_.path()), 1u);
  EXPECT_EQ(window_->StatusText(), "创建自解密文件已取消。");
  EXPECT_EQ(port_.captions[Control::CreateSelfDecryptingButton].back(), "创建自解密");
  EXPECT_TRUE(port_.messages.empty());
}

TEST_F(SelfExtract, WithoutTheSmallProgramBesideTheRunningOneCreateAsksNothingAndWritesNothing) {
  OwnFile();
  window_->SetSfxProgram({});  // vesk-sfx beside the running test program, where there is none
  const std::string missing = selfextract::SfxProgramBesideRunningProgram();
  ASSERT_FALSE(std::filesystem::exists(missing));
  window_->CreateSelfDecryptingClicked();
  EXPECT_EQ(port_.messages, std::vector<std::string>{selfextract::text::SfxProgramMissing(missing)});
  EXPECT_TRUE(port_.open_specs.empty());
  EXPECT_TRUE(port_.save_specs.empty());
  EXPECT_EQ(window_->Result().outcome, Outcome::kRefused);
  EXPECT_EQ(FilesIn(out_.path()), 0u);
  EXPECT_EQ(window_->Tag(Control::CreateSelfDecryptingButton), 0);

  // A file there that is no program image is refused the same way.
  WriteFile(out_.File("vesk-sfx"), "not a program");
  window_->SetSfxProgram({out_.File("vesk-sfx"), 0});
  window_->CreateSelfDecryptingClicked();
  EXPECT_EQ(port_.messages.back(), selfextract::text::SfxProgramUnreadable(out_.File("vesk-sfx")));
  EXPECT_TRUE(port_.open_specs.empty());
}

TEST_F(SelfExtract, CreateCopiesTheRealSmallProgramAndTheFileDecryptsItself) {
  OwnFile();
  window_->SetSfxProgram({VESK_SFX_PATH, 0});  // its image measured from the file
  const std::string plain = RandomBytes(7000, 14);
  WriteFile(dir_.File("c.jmz"), MakeContainer(Recipe{}, plain));
  port_.open_answers = {dir_.File("c.jmz")};
  port_.save_answers = {out_.File("c")};
  window_->CreateSelfDecryptingClicked();
  WaitIdle(Control::CreateSelfDecryptingButton);
  ASSERT_EQ(window_->StatusText(), "创建自解密文件已完成。（" + out_.File("c.run") + "）");
  const std::string sfx = ReadFile(VESK_SFX_PATH);
  EXPECT_EQ(ReadFile(out_.File("c.run")).substr(0, sfx.size()), sfx);

  testing::ProcessOptions options;
  options.env = {{"K", "secret"}, {"TMPDIR", tmp_.path()}};
  const testing::ProcessResult run =
      testing::RunProcess({out_.File("c.run"), "self-decrypt", "--key-env", "K", "-o", out_.File("back")}, options);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadFile(out_.File("back.txt")), plain);
}

TEST_F(SelfExtract, CreateAndSeparateKeepPrivateFilesPrivate) {
  OwnFile();
  WriteFile(dir_.File("private.jmz"), MakeContainer(Recipe{}, RandomBytes(3000, 13)));
  ASSERT_EQ(::chmod(dir_.File("private.jmz").c_str(), 0600), 0);
  port_.open_answers = {dir_.File("private.jmz")};
  port_.save_answers = {out_.File("private")};
  window_->CreateSelfDecryptingClicked();
  WaitIdle(Control::CreateSelfDecryptingButton);
  ASSERT_EQ(window_->StatusText(), "创建自解密文件已完成。（" + out_.File("private.run") + "）");
  EXPECT_EQ(ModeOf(out_.File("private.run")), 0700u);

  // Taken apart again: the container loses the execute bits, the program
  // part keeps the executable's.
  ASSERT_EQ(::chmod(out_.File("private.run").c_str(), 0750), 0);
  window_->ReadSelfDecryptInfo(WindowLogic::OwnFile{out_.File("private.run"), kImage});
  std::filesystem::create_directory(out_.File("apart"));
  port_.save_answers = {out_.File("apart/back")};
  window_->SeparateClicked();
  WaitIdle(Control::SeparateButton);
  ASSERT_EQ(window_->StatusText(), "分离自解密文件 ... 已完成。 — " + out_.File("apart/Vesk 文件加密.run") + ", " + out_.File("apart/back.jmz"));
  EXPECT_EQ(ModeOf(out_.File("apart/back.jmz")), 0640u);
  EXPECT_EQ(ModeOf(out_.File("apart/Vesk 文件加密.run")), 0750u);
}

// ---- Self-decrypt ----------------------------------------------------------------

TEST_F(SelfExtract, SelfDecryptFindsTheHeaderAt0Or260AndAppendsTheStoredExtension) {
  port_.keys[Control::DecryptionKey] = "secret";
  // Containers of 50 and 1,072 bytes have their header at 0; those of 1,073
  // to 3,499 bytes with the header at 260 are found on the second try; from
  // 3,500 bytes on it is looked for at 260 directly.
  Recipe bare;
  bare.ext = "";
  const std::pair<std::size_t, int64_t> cases[] = {{1, 50}, {1023, 1072}, {1024, 1073}, {3450, 3499}, {3451, 3500}};
  for (const auto& [payload, length] : cases) {
    const std::string plain = RandomBytes(payload, static_cast<uint32_t>(payload));
    const std::string container = MakeContainer(bare, plain);
    ASSERT_EQ(static_cast<int64_t>(container.size()), length);
    OwnFile(container, "报告.jmz");
    port_.save_answers = {out_.File("还原" + std::to_string(length))};
    window_->SelfDecryptClicked();
    WaitIdle(Control::SelfDecryptButton);
    ASSERT_TRUE(port_.messages.empty()) << length << ": " << port_.messages[0];
    EXPECT_EQ(ReadFile(out_.File("还原" + std::to_string(length))), plain) << length;  // no stored extension
    EXPECT_EQ(window_->StatusText(), "解密文件 ... 已完成。 — " + out_.File("还原" + std::to_string(length)));
  }
  const std::string plain = RandomBytes(20000, 11);
  OwnFile(MakeContainer(Recipe{}, plain), "报告.jmz");
  port_.save_answers = {out_.File("还原")};
  window_->SelfDecryptClicked();
  WaitIdle(Control::SelfDecryptButton);
  EXPECT_EQ(ReadFile(out_.File("还原.txt")), plain);  // the name as typed plus ".txt"
  EXPECT_EQ(port_.save_specs.back().file_name, dir_.File("报告"));  // program folder, name without extension
  EXPECT_EQ(port_.save_specs.back().filter, "全部文件(*.*)|*.*");
  EXPECT_EQ(port_.save_specs.back().title, "解密后的文件保存为");
  EXPECT_EQ(port_.captions[Control::SelfDecryptButton].back(), "自解密");
  EXPECT_EQ(port_.captions[Control::SelfDecryptButton].end()[-2], "取消");
  EXPECT_EQ(window_->HintText(Hint::Source), "进行自解密的文件：报告.jmz");

  // A wrong key is refused; no output.
  port_.keys[Control::DecryptionKey] = "wrong!";
  port_.save_answers = {out_.File("bad")};
  window_->SelfDecryptClicked();
  WaitIdle(Control::SelfDecryptButton);
  EXPECT_EQ(port_.messages, std::vector<std::string>{"解密的密钥与加密的文件里的密钥不相同,不能解密!"});
  EXPECT_FALSE(PathExists(out_.File("bad.txt")));
}

TEST_F(SelfExtract, ACompressedPayloadIsDecompressedAfterSelfDecrypting) {
  const std::string plain = std::string(300000, 'z') + RandomBytes(5000, 12);
  WriteFile(dir_.File("doc.txt"), plain);
  port_.keys[Control::EncryptionKey] = port_.keys[Control::DecryptionKey] = "k";
  window_->SetRatioIndex(2);
  port_.open_answers = {dir_.File("doc.txt")};
  port_.save_answers = {dir_.File("doc.jmz")};
  window_->EncryptClicked();
  WaitIdle(Control::EncryptButton);
  ASSERT_EQ(window_->StatusText(), "加密文件 ... 已完成。 — " + dir_.File("doc.jmz"));

  OwnFile(ReadFile(dir_.File("doc.jmz")), "doc.jmz");
  // A private self-decrypting file: the output is as private, whatever file
  // an earlier command read.
  ASSERT_EQ(::chmod(program_.c_str(), 0700), 0);
  port_.save_answers = {out_.File("doc")};
  window_->SelfDecryptClicked();
  WaitIdle(Control::SelfDecryptButton);
  EXPECT_EQ(ReadFile(out_.File("doc.txt")), plain);
  EXPECT_EQ(ModeOf(out_.File("doc.txt")), 0600u);
  EXPECT_EQ(window_->StatusText(), "解密文件 ... 已完成。 — " + out_.File("doc.txt"));
  EXPECT_EQ(port_.captions[Control::SelfDecryptButton].back(), "自解密");
  EXPECT_EQ(window_->Tag(Control::SelfDecryptButton), 0);
  EXPECT_EQ(FilesIn(tmp_.path()), 0u);  // the temporary ".zak" is gone
}

TEST_F(SelfExtract, AnEmptyStoredNameIsProposedAsUnnamedAndCancelAsks) {
  port_.keys[Control::DecryptionKey] = "secret";
  const std::string container = MakeContainer(Recipe{}, RandomBytes(4 << 20, 6));
  {
    std::string bytes = image_;
    bytes += selfextract::EncodePayloadHeader(static_cast<int64_t>(container.size()), "x");
    bytes.replace(static_cast<std::size_t>(kImage) + 8, 251, std::string(251, '\0'));
    WriteFile(program_, bytes + container);
  }
  window_->ReadSelfDecryptInfo(WindowLogic::OwnFile{program_, kImage});
  ASSERT_EQ(port_.messages, std::vector<std::string>{"自解密里的加密文件名称(出错)是空的！"});
  port_.messages.clear();

  CancelAtFirstStep(Control::SelfDecryptButton);
  port_.save_answers = {out_.File("out")};
  window_->SelfDecryptClicked();
  WaitIdle(Control::SelfDecryptButton);
  EXPECT_EQ(port_.save_specs.back().file_name, dir_.File("未命名"));
  const std::string shown = "自解密文件：未命名.jmz  大小：" + std::to_string(container.size()) + "字节。";
  EXPECT_NE(std::find(port_.statuses.begin(), port_.statuses.end(), shown), port_.statuses.end());
  EXPECT_EQ(port_.questions.back(), "真的要取消自解密：“未命名.jmz”吗?");
  EXPECT_EQ(port_.question_captions.back(), "取消自解密");
  EXPECT_FALSE(PathExists(out_.File("out.txt")));
  EXPECT_EQ(FilesIn(out_.path()), 0u);
}

TEST_F(SelfExtract, AStoredNameWithControlCharactersIsEscapedInTextsAndReplacedInFileNames) {
  // Crafted: a terminal title sequence, a bell and a line break in the name.
  const std::string crafted = "a\x1B]0;x\x07\nb.jmz";
  const std::string shown = "a\\x1B]0;x\\x07\\x0Ab.jmz";
  const std::string plain = RandomBytes(4000, 14);
  const std::string container = MakeContainer(Recipe{}, plain);
  OwnFile(container, crafted);
  const std::string status = "自解密文件：" + shown + "  大小：" + std::to_string(container.size()) + "字节。";
  EXPECT_EQ(window_->HintText(Hint::Source), status);
  EXPECT_EQ(window_->StatusText(), status);

  port_.keys[Control::DecryptionKey] = "secret";
  port_.save_answers = {std::nullopt};
  window_->SelfDecryptClicked();
  EXPECT_EQ(port_.save_specs.back().file_name, dir_.File("a_]0;x__b"));

  port_.save_answers = {out_.File("restored")};
  window_->SelfDecryptClicked();
  WaitIdle(Control::SelfDecryptButton);
  EXPECT_EQ(ReadFile(out_.File("restored.txt")), plain);
  EXPECT_EQ(window_->HintText(Hint::Source), "进行自解密的文件：" + shown);

  port_.save_answers = {std::nullopt};
  window_->SeparateClicked();
  EXPECT_EQ(port_.save_specs.back().file_name, dir_.File("a_]0;x__b.jmz"));
  port_.save_answers = {out_.File("apart")};
  window_->SeparateClicked();
  WaitIdle(Control::SeparateButton);
  EXPECT_EQ(ReadFile(out_.File("apart.jmz")), container);
  EXPECT_EQ(window_->HintText(Hint::Source), "进行分离自解密里的已加密文件：" + shown);
  EXPECT_NE(std::find(port_.statuses.begin(), port_.statuses.end(), "进行分离自解密里的已加密文件：" + shown + " ..."),
            port_.statuses.end());
  for (const std::string& text : port_.statuses) {
    EXPECT_EQ(text.find_first_of("\x1B\x07\n"), std::string::npos) << text;
  }
}

// ---- Separate ----------------------------------------------------------------------

TEST_F(SelfExtract, SeparateWritesTheProgramPartFirstThenTheContainer) {
  const std::string container = MakeContainer(Recipe{}, RandomBytes(300000, 7));
  // Bytes behind a stored size smaller than the rest of the file are not copied.
  OwnFile(container, "报告.jmz", std::nullopt, "appended bytes");
  ASSERT_EQ(window_->OwnPayload().PayloadSize, static_cast<int64_t>(container.size()));
  ASSERT_EQ(port_.messages.size(), 1u);  // the stored size differs from the bytes present
  port_.messages.clear();

  port_.save_answers = {out_.File("分离")};
  window_->SeparateClicked();
  WaitIdle(Control::SeparateButton);
  EXPECT_EQ(port_.save_specs[0].file_name, dir_.File("报告.jmz"));
  EXPECT_EQ(port_.save_specs[0].filter, "jmz加密文件(*.jmz)|*.jmz|全部文件(*.*)|*.*");
  EXPECT_EQ(port_.save_specs[0].title, "分离后的文件保存为");
  const std::string part = out_.File("Vesk 文件加密.run");
  EXPECT_EQ(ReadFile(part), image_);
  EXPECT_EQ(ModeOf(part), DefaultProgramMode());
  EXPECT_EQ(ReadFile(out_.File("分离.jmz")), container);
  EXPECT_EQ(window_->StatusText(), "分离自解密文件 ... 已完成。 — " + part + ", " + out_.File("分离.jmz"));
  EXPECT_EQ(port_.captions[Control::SeparateButton], (std::vector<std::string>{"取消", "分离"}));
  EXPECT_EQ(window_->HintText(Hint::Output), "分离自解密后的已加密文件：" + out_.File("分离.jmz"));
  EXPECT_EQ(window_->HintText(Hint::Source), "进行分离自解密里的已加密文件：报告.jmz");
  EXPECT_TRUE(port_.messages.empty());

  // Both files exist now: the program part is asked about first, and No to
  // either question cancels everything.
  WriteFile(part, "old part");
  port_.save_answers = {out_.File("分离.jmz")};
  port_.question_answers = {false};
  window_->SeparateClicked();
  EXPECT_EQ(port_.questions, std::vector<std::string>{ReplaceQuestion(part)});
  EXPECT_EQ(window_->StatusText(), "分离自解密文件已取消。");
  port_.save_answers = {out_.File("分离.jmz")};
  port_.question_answers = {true, false};
  window_->SeparateClicked();
  EXPECT_EQ(port_.questions.back(), ReplaceQuestion(out_.File("分离.jmz")));
  EXPECT_EQ(window_->StatusText(), "分离自解密文件已取消。");
  EXPECT_EQ(ReadFile(part), "old part");
  EXPECT_EQ(window_->Tag(Control::SeparateButton), 0);
}

TEST_F(SelfExtract, ACorrectedPayloadSizeIsCopiedExactly) {
  const std::string container = MakeContainer(Recipe{}, RandomBytes(6000, 8));
  // The stored size claims more than the file holds: the reader corrects it
  // to the bytes present, and separate copies exactly those.
  OwnFile(container, "c.jmz", static_cast<int64_t>(container.size()) + 500);
  ASSERT_EQ(port_.messages.size(), 1u);
  ASSERT_EQ(window_->OwnPayload().PayloadSize, static_cast<int64_t>(container.size()));
  port_.save_answers = {out_.File("c.jmz")};
  window_->SeparateClicked();
  WaitIdle(Control::SeparateButton);
  EXPECT_EQ(ReadFile(out_.File("c.jmz")), container);
}

TEST_F(SelfExtract, CancellingSeparateKeepsTheProgramPartAndLeavesNoContainer) {
  OwnFile(MakeContainer(Recipe{}, RandomBytes(4 << 20, 9)), "big.jmz");
  CancelAtFirstStep(Control::SeparateButton);
  port_.save_answers = {out_.File("big")};
  window_->SeparateClicked();
  WaitIdle(Control::SeparateButton);
  ASSERT_TRUE(cancelled_);
  EXPECT_EQ(port_.questions.back(), "真的要取消分离自解密文件：“big.jmz”吗?");
  EXPECT_EQ(port_.question_captions.back(), "取消分离");
  EXPECT_EQ(ReadFile(out_.File("Vesk 文件加密.run")), image_);
  EXPECT_FALSE(PathExists(out_.File("big.jmz")));
  EXPECT_EQ(FilesIn(out_.path()), 1u);
  EXPECT_EQ(window_->StatusText(), "分离自解密文件已取消。");
  EXPECT_EQ(port_.captions[Control::SeparateButton].back(), "分离");

  // Separating into the program's own file is refused.
  const std::string self = program_;
  std::filesystem::rename(self, dir_.File("x.jmz"));
  window_->ReadSelfDecryptInfo(WindowLogic::OwnFile{dir_.File("x.jmz"), kImage});
  port_.save_answers = {dir_.File("x.jmz")};
  port_.question_answers = {true};
  port_.messages.clear();
  window_->SeparateClicked();
  EXPECT_EQ(port_.messages, std::vector<std::string>{"替换删除文件“" + dir_.File("x.jmz") +
                                                     "”失败！文件正在使用中或者有只读属性等。分离自解密文件已取消。"});
  EXPECT_GT(ReadFile(dir_.File("x.jmz")).size(), static_cast<std::size_t>(4 << 20));
}

}  // namespace
}  // namespace vesk
