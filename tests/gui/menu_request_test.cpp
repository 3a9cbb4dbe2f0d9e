// What a file manager's "用 Vesk 加密" / "用 Vesk 解密" starts: `vesk --encrypt
// PATH...` and `vesk --decrypt PATH...`, through the window and as a process.
#include <filesystem>

#include <QPushButton>

#include "app/menu_request.h"
#include "support/process.h"
#include "window_fixture.h"

namespace vesk::gui::testing {
namespace {

namespace fs = std::filesystem;
using vesk::testing::ProcessOptions;
using vesk::testing::ProcessResult;
using vesk::testing::RunProcess;

TEST(MenuRequestLine, TheSwitchComesFirstAndEveryLaterArgumentIsAPathAsItIs) {
  const std::string odd = "/tmp/\xff\xfe not utf-8";
  auto r = ParseMenuRequest({"--encrypt", "/a b", odd, "--", "-x", "--decrypt"});
  ASSERT_TRUE(r);
  EXPECT_EQ(r->command, MenuCommand::kEncrypt);
  EXPECT_EQ(r->paths, (std::vector<std::string>{"/a b", odd, "--", "-x", "--decrypt"}));
  r = ParseMenuRequest({"--decrypt", "/c.jmz"});
  ASSERT_TRUE(r);
  EXPECT_EQ(r->command, MenuCommand::kDecrypt);
  EXPECT_EQ(r->paths, std::vector<std::string>{"/c.jmz"});
  r = ParseMenuRequest({"--decrypt"});
  ASSERT_TRUE(r);
  EXPECT_TRUE(r->paths.empty());
  // The window's older command line is no request.
  EXPECT_FALSE(ParseMenuRequest({}));
  EXPECT_FALSE(ParseMenuRequest({"/a.jmz", "--encrypt"}));
  EXPECT_FALSE(ParseMenuRequest({"/ysl0"}));
  EXPECT_FALSE(ParseMenuRequest({"--encrypt=/a"}));
  r = ParseMenuRequest({"--self-decrypt", "/x.run"});
  ASSERT_TRUE(r);
  EXPECT_EQ(r->command, MenuCommand::kSelfDecrypt);
  EXPECT_EQ(r->paths, std::vector<std::string>{"/x.run"});
  EXPECT_TRUE(WantsWindowHelp({"--help"}));
  EXPECT_TRUE(WantsWindowHelp({"-h"}));
  EXPECT_FALSE(WantsWindowHelp({"/a", "--help"}));
}

class MenuRequestWindow : public WindowTest {
 protected:
  std::string File(const std::string& name) {
    const std::string path = dir.File(name);
    WriteFile(path, "x");
    return path;
  }
};

TEST_F(MenuRequestWindow, OneFileIsPreselectedAndTheCommandReady) {
  Open();
  const std::string a = File("a.txt");
  session->ApplyMenuRequest({MenuCommand::kEncrypt, {a}});
  EXPECT_EQ(W().StatusText(), "用 Vesk 加密: " + a + " — 点 “加密文件” 开始。");
  EXPECT_EQ(Logic().HintText(Hint::Source), a);
  EXPECT_EQ(dialogs.presets, std::vector<std::string>{a});
  EXPECT_EQ(Logic().ReadyCommand(), Control::EncryptButton);
  EXPECT_TRUE(W().ButtonFor(Control::EncryptButton)->isDefault());
  EXPECT_FALSE(W().ButtonFor(Control::DecryptButton)->isDefault());

  // The open dialog of the command proposes the file.
  dialogs.open_answers.push_back(std::nullopt);
  SetKey(W().EncryptionKey, "k");
  Click(W().ButtonFor(Control::EncryptButton));
  ASSERT_FALSE(dialogs.open_specs.empty());
  EXPECT_EQ(dialogs.open_specs.back().file_name, a);
}

TEST_F(MenuRequestWindow, SeveralItemsOrAFolderAreOneBatchOfTheCommand) {
  Open();
  fs::create_directories(dir.File("folder"));
  const std::string b = File("b.jmz"), c = File("c.jmz");
  // To decrypt: the files; a folder has nothing to decrypt.
  session->ApplyMenuRequest({MenuCommand::kDecrypt, {dir.File("folder"), b, c}});
  EXPECT_EQ(W().StatusText(), "用 Vesk 解密: 收到 3 项, 一起处理其中的 2 项 — 点 “解密文件” 开始。");
  EXPECT_EQ(Logic().ChosenPaths(), (std::vector<std::string>{b, c}));
  EXPECT_EQ(Logic().ReadyCommand(), Control::DecryptButton);
  EXPECT_TRUE(W().ButtonFor(Control::DecryptButton)->isDefault());
  ASSERT_TRUE(Logic().PassedRequest());
  EXPECT_EQ(Logic().PassedRequest()->paths, (std::vector<std::string>{dir.File("folder"), b, c}));

  // To encrypt, a folder alone is taken as the folder item takes it, and
  // encrypted by the button without an open dialog.
  Open();
  const std::string inside = dir.File("folder/inner.txt");
  WriteFile(inside, "inside");
  session->ApplyMenuRequest({MenuCommand::kEncrypt, {dir.File("folder"), dir.File("gone")}});
  EXPECT_EQ(W().StatusText(), "用 Vesk 加密: " + dir.File("folder") + " — 点 “加密文件” 开始。");
  EXPECT_EQ(Logic().ChosenPaths(), std::vector<std::string>{dir.File("folder")});
  SetKey(W().EncryptionKey, "k");
  dialogs.save_answers.push_back(dir.File("folder.tar.jmz"));
  Click(W().ButtonFor(Control::EncryptButton));
  ASSERT_TRUE(WaitIdle());
  EXPECT_TRUE(dialogs.open_specs.empty());
  EXPECT_TRUE(fs::exists(dir.File("folder.tar.jmz")));

  // Nothing to work on, or nothing: said so, nothing preselected.
  Open();
  session->ApplyMenuRequest({MenuCommand::kDecrypt, {dir.File("folder"), dir.File("gone")}});
  EXPECT_EQ(W().StatusText(), "用 Vesk 解密: 收到 2 项, 其中没有可以处理的文件。");
  EXPECT_EQ(Logic().HintText(Hint::Source), "");
  Open();
  session->ApplyMenuRequest({MenuCommand::kEncrypt, {}});
  EXPECT_EQ(W().StatusText(), "用 Vesk 加密: 没有收到文件。");
}

// Started to encrypt, the window never only compresses by itself: an empty
// key box is asked for (the question's default keeps it so), and only a Yes
// compresses. Started otherwise, the button compresses as it always did.
TEST_F(MenuRequestWindow, WithoutAKeyTheEncryptCommandAsksForTheKey) {
  const std::string wanted = "请先在左边的框里输入加密的密钥，再点 “加密文件”。";
  const struct {
    const char* name;
    bool requested;
    int ratio;
    std::optional<bool> answer;  // to the compress-only question; unset: not asked
  } cases[] = {
      {"asked, No: the key box waits", true, 2, false},
      {"asked, Yes: compressed only", true, 2, true},
      {"nothing to compress with: only the key is asked for", true, 0, std::nullopt},
      {"not started to encrypt: compressed as before", false, 2, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Open();
    const std::string a = File(std::string(c.name).substr(0, 5) + ".txt");
    fs::remove(a + ".zak");
    if (c.requested) session->ApplyMenuRequest({MenuCommand::kEncrypt, {a}});
    Logic().SetRatioIndex(c.ratio);
    const bool compresses = !c.requested || c.answer.value_or(false);
    if (c.answer) dialogs.question_answers = {*c.answer};
    if (compresses) {
      dialogs.open_answers = {a};
      dialogs.save_answers = {a + ".zak"};
    }
    dialogs.careful.clear();
    Click(W().EncryptButton);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(dialogs.careful.size(), c.answer ? 1u : 0u);
    EXPECT_EQ(fs::exists(a + ".zak"), compresses);
    if (!compresses) {
      EXPECT_EQ(W().StatusText(), wanted);
      EXPECT_EQ(W().focusWidget(), W().EncryptionKey);
      EXPECT_TRUE(W().FocusMark()->isVisible());
    }
  }
}

#ifdef VESK_WINDOW_PATH
TEST(WindowProgram, HelpNeedsNoDisplayAndNamesTheMenuSwitches) {
  const ProcessResult r = RunProcess({"/usr/bin/env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM",
                                      VESK_WINDOW_PATH, "--help"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("vesk --encrypt 文件或文件夹..."), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("vesk --decrypt 文件..."), std::string::npos);
  EXPECT_EQ(r.out, WindowHelpText());
}

TEST(WindowProgram, AFileNameThatIsNotUtf8ArrivesAsItIs) {
  TempDir dir;
  const std::string odd = dir.File("\xff\xfe-\xe4.jmz");
  WriteFile(odd, "x");
  ProcessOptions options;
  options.env = {{"QT_QPA_PLATFORM", "offscreen"}, {"VESK_ECHO_STATUS", "1"}, {"XDG_CONFIG_HOME", dir.File("config")}};
  // The status line after start-up is echoed; then the window is stopped.
  const std::string expected = "用 Vesk 解密: " + odd + " — 点 “解密文件” 开始。\n";
  options.stop_when = [](const std::string& err) { return err.find("开始。\n") != std::string::npos; };
  options.stop_after = std::chrono::seconds(20);
  const ProcessResult r = RunProcess({VESK_WINDOW_PATH, "--decrypt", odd}, options);
  EXPECT_NE(r.err.find(expected), std::string::npos) << r.err;
}
#endif

}  // namespace
}  // namespace vesk::gui::testing
