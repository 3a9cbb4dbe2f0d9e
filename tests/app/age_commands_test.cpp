// The window logic of the strong format through a scripted port: the format
// choice and its setting, the passphrase confirmation and strength meter, age
// files recognised by the decrypt button whatever the format, identity files,
// recipients and the key generator.
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "app/key_strength.h"
#include "app/window_logic.h"
#include "app/window_logic_fixture.h"
#include "commands/age_command.h"
#include "crypto/age_files/engine.h"
#include "settings/memory_store.h"
#include "support/recording_reporter.h"
#include "support/scripted_port.h"
#include "support/temp_dir.h"
#include "threads/queued_ui_thread.h"

namespace vesk {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

// The scripted port with the strong format's dialogs.
class AgePort : public testing::ScriptedPort {
 public:
  void SetKeyStrength(std::optional<int> score, const std::string& hint) override {
    std::lock_guard lock(mutex);
    meter.emplace_back(score, hint);
  }
  std::optional<std::string> RecipientsDialog(const std::string& proposed) override {
    std::lock_guard lock(mutex);
    proposed_recipients.push_back(proposed);
    if (recipients_answers.empty()) return std::nullopt;
    auto a = recipients_answers.front();
    recipients_answers.pop_front();
    return a;
  }
  void CopyToClipboard(const std::string& text) override {
    std::lock_guard lock(mutex);
    clipboard = text;
  }

  std::mutex mutex;
  std::vector<std::pair<std::optional<int>, std::string>> meter;
  std::deque<std::optional<std::string>> recipients_answers;
  std::vector<std::string> proposed_recipients;
  std::string clipboard;
};

bool StartsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }
std::size_t FilesIn(const std::string& dir) {
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
}

class AgeCommands : public ::testing::Test {
 protected:
  AgeCommands() {
    setenv("TMPDIR", tmp_.path().c_str(), 1);
    window_ = std::make_unique<WindowLogic>(port_, ui_);
    window_->UseSettingsStore(values_);
    window_->SetCommandState(Operation::MenuCommand, true);
    window_->SetAgeWorkFactor(10);  // fast; vesk-cli's tests check the tool's 2^18
  }
  ~AgeCommands() override {
    window_.reset();
    unsetenv("TMPDIR");
  }
  void WaitIdle(Control busy) { testing::WaitIdle(ui_, *window_, busy); }
  void Encrypt(const std::string& source, std::optional<std::string> save) {
    port_.open_answers.push_back(source);
    port_.save_answers.push_back(save);
    window_->EncryptClicked();
    WaitIdle(Control::EncryptButton);
  }
  void Decrypt(const std::string& source, std::optional<std::string> save) {
    port_.open_answers.push_back(source);
    port_.save_answers.push_back(save);
    window_->DecryptClicked();
    WaitIdle(Control::DecryptButton);
  }
  void Keys(const std::string& encryption, const std::string& decryption) {
    port_.keys[Control::EncryptionKey] = encryption;
    port_.keys[Control::DecryptionKey] = decryption;
  }
  std::string LastMessage() const { return port_.messages.empty() ? "" : port_.messages.back(); }

  TempDir dir_, tmp_;
  AgePort port_;
  QueuedUiThread ui_;
  settings::MemoryStore values_;
  std::unique_ptr<WindowLogic> window_;
};

TEST_F(AgeCommands, TheFormatChoiceIsStoredUnderItsOwnNameAndComesBack) {
  EXPECT_FALSE(window_->AgeFormatChosen());  // the compatible format is the default
  window_->FormatSelected(1);
  EXPECT_TRUE(window_->AgeFormatChosen());
  EXPECT_EQ(values_.ReadInteger("jmgs").value, 1);
  for (const char* other : {"zzll", "ctbjc", "vkys", "pbmy", "ctsf"}) {
    EXPECT_EQ(values_.ReadInteger(other).status, settings::ReadStatus::Absent) << other;
  }
  // A new window reads it back; anything but 1 is the compatible format.
  {
    WindowLogic next(port_, ui_);
    next.UseSettingsStore(values_);
    next.LoadSettings();
    EXPECT_TRUE(next.AgeFormatChosen());
    values_.WriteText("jmgs", "7");
    next.LoadSettings();
    EXPECT_FALSE(next.AgeFormatChosen());
    values_.WriteText("jmgs", "x");
    next.LoadSettings();
    EXPECT_FALSE(next.AgeFormatChosen());
  }
  window_->FormatSelected(0);
  EXPECT_EQ(values_.ReadInteger("jmgs").value, 0);
  // Keys are never among the settings.
  Keys("secret passphrase", "secret passphrase");
  window_->FormatSelected(1);
  window_->EncryptionKeyEdited();
  EXPECT_EQ(values_.ReadInteger("secret passphrase").status, settings::ReadStatus::Absent);
}

TEST_F(AgeCommands, TheDecryptDialogOffersAgeFilesAndFirstWithTheStrongFormat) {
  for (const int format : {0, 1}) {
    window_->FormatSelected(format);
    port_.open_answers.push_back(std::nullopt);
    window_->DecryptClicked();
    const std::string& filter = port_.open_specs.back().filter;
    EXPECT_NE(filter.find("age加密文件(*.age)|*.age|"), std::string::npos) << filter;
    EXPECT_EQ(filter.rfind("age加密文件(*.age)|*.age|", 0) == 0, format == 1) << filter;
  }
}

TEST_F(AgeCommands, AgeEncryptionWantsTheSecondBoxToConfirmAndRoundTrips) {
  const std::string plain = testing::RandomBytes(100000, 2);
  WriteFile(dir_.File("doc.txt"), plain);
  window_->FormatSelected(1);
  window_->SetRatioIndex(3);  // compression does not apply to age files

  for (const auto& [encryption, decryption, message] :
       {std::tuple{"", "", "请先输入加密的密码"}, std::tuple{"pass 1", "pass 2", "两次输入的密码不相同"},
        std::tuple{"pass", "", "两次输入的密码不相同"}}) {
    SCOPED_TRACE(message);
    Keys(encryption, decryption);
    port_.messages.clear();
    window_->EncryptClicked();
    EXPECT_TRUE(StartsWith(LastMessage(), message)) << LastMessage();
    EXPECT_EQ(window_->Result().outcome, Outcome::kRefused);
    EXPECT_TRUE(port_.open_specs.empty());  // refused before anything is chosen
  }

  // Two lines and a character GBK cannot hold: the passphrase as typed.
  Keys("第一行 😀\r\nline two", "第一行 😀\r\nline two");
  Encrypt(dir_.File("doc.txt"), dir_.File("doc.txt.age"));
  ASSERT_EQ(window_->Result().outcome, Outcome::kDone) << window_->Result().reason;
  EXPECT_EQ(port_.save_specs.back().file_name, dir_.File("doc.txt") + ".age");
  EXPECT_EQ(window_->StatusText(), "age 强加密文件 ... 已完成。 — " + dir_.File("doc.txt.age"));
  const std::string sealed = ReadFile(dir_.File("doc.txt.age"));
  EXPECT_TRUE(StartsWith(sealed, "age-encryption.org/v1\n-> scrypt ")) << sealed.substr(0, 40);

  // The engine opens it with the line break as LF, not the box's CR LF.
  age_files::DecryptJob job;
  job.source_path = dir_.File("doc.txt.age");
  job.target_path = dir_.File("direct");
  job.passphrase = age::SecretBytes::FromString("第一行 😀\nline two");
  testing::RecordingReporter direct;
  direct.RunEngine([&](RunContext& c) { return age_files::DecryptFile(job, c); });
  EXPECT_EQ(direct.Result().outcome, Outcome::kDone) << direct.Result().reason;
  EXPECT_TRUE(ReadFile(dir_.File("direct")) == plain);

  // The decrypt button proposes the name without ".age".
  std::filesystem::remove(dir_.File("doc.txt"));
  Decrypt(dir_.File("doc.txt.age"), std::nullopt);
  EXPECT_EQ(port_.save_specs.back().file_name, dir_.File("doc.txt"));
  Decrypt(dir_.File("doc.txt.age"), dir_.File("doc.txt"));
  ASSERT_EQ(window_->Result().outcome, Outcome::kDone) << window_->Result().reason;
  EXPECT_TRUE(ReadFile(dir_.File("doc.txt")) == plain);
}

TEST_F(AgeCommands, TheDecryptButtonRecognisesAgeFilesAndAWrongPassphraseWritesNothing) {
  WriteFile(dir_.File("p"), testing::RandomBytes(300000, 4));
  window_->FormatSelected(1);
  Keys("right one", "right one");
  Encrypt(dir_.File("p"), dir_.File("secret.jmz"));  // any name
  ASSERT_EQ(window_->Result().outcome, Outcome::kDone);
  window_->FormatSelected(0);  // recognised whatever the format choice
  const std::size_t files = FilesIn(dir_.path());

  Keys("", "wrong one");
  Decrypt(dir_.File("secret.jmz"), dir_.File("out"));
  EXPECT_EQ(window_->Result().outcome, Outcome::kRefused);
  EXPECT_TRUE(StartsWith(LastMessage(), "密码错误")) << LastMessage();
  EXPECT_FALSE(std::filesystem::exists(dir_.File("out")));
  EXPECT_EQ(FilesIn(dir_.path()), files);
  EXPECT_EQ(FilesIn(tmp_.path()), 0u);

  // Without a passphrase nothing is asked: the file needs one.
  port_.save_specs.clear();
  Keys("", "");
  port_.open_answers.push_back(dir_.File("secret.jmz"));
  window_->DecryptClicked();
  WaitIdle(Control::DecryptButton);
  EXPECT_TRUE(StartsWith(LastMessage(), "这个 age 文件是用密码加密的")) << LastMessage();
  EXPECT_TRUE(port_.save_specs.empty());

  Keys("", "right one");
  Decrypt(dir_.File("secret.jmz"), dir_.File("out"));
  EXPECT_EQ(window_->Result().outcome, Outcome::kDone) << window_->Result().reason;
  EXPECT_EQ(ReadFile(dir_.File("out")), ReadFile(dir_.File("p")));
}

TEST_F(AgeCommands, GeneratedIdentitiesOpenFilesEncryptedToTheirPublicKey) {
  WriteFile(dir_.File("p"), "for the recipient");
  // The key generator: a private file, its public key shown and copied.
  port_.save_answers.push_back(dir_.File("id.txt"));
  window_->GenerateIdentityClicked();
  struct stat st {};
  ASSERT_EQ(::stat(dir_.File("id.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  const std::string key = port_.clipboard;
  ASSERT_EQ(key.size(), 62u);
  EXPECT_TRUE(StartsWith(key, "age1"));
  EXPECT_NE(LastMessage().find(key), std::string::npos);
  EXPECT_NE(ReadFile(dir_.File("id.txt")).find("# public key: " + key + "\n"), std::string::npos);
  // It never replaces an identity file.
  const std::string text = ReadFile(dir_.File("id.txt"));
  port_.save_answers.push_back(dir_.File("id.txt"));
  window_->GenerateIdentityClicked();
  EXPECT_TRUE(StartsWith(LastMessage(), "文件“" + dir_.File("id.txt") + "”已经存在")) << LastMessage();
  EXPECT_EQ(ReadFile(dir_.File("id.txt")), text);

  // Encrypt to recipients: bad keys are refused before any file is chosen.
  port_.recipients_answers.push_back("age1notakey\n");
  window_->EncryptToRecipientsClicked();
  EXPECT_TRUE(StartsWith(LastMessage(), "接收者公钥无效（第 1 行）")) << LastMessage();
  EXPECT_TRUE(port_.open_specs.empty());
  // The dialog starts from the last text; comments are allowed.
  port_.recipients_answers.push_back("# me\n" + key + "\n");
  port_.open_answers.push_back(dir_.File("p"));
  port_.save_answers.push_back(dir_.File("p.age"));
  window_->EncryptToRecipientsClicked();
  WaitIdle(Control::EncryptButton);
  EXPECT_EQ(port_.proposed_recipients.back(), "age1notakey\n");
  ASSERT_EQ(window_->Result().outcome, Outcome::kDone) << window_->Result().reason;
  EXPECT_TRUE(StartsWith(ReadFile(dir_.File("p.age")), "age-encryption.org/v1\n-> X25519 "));
  // The recipients were for that run only: the next click is the button's own.
  port_.open_answers.push_back(std::nullopt);
  window_->EncryptClicked();
  EXPECT_EQ(port_.open_specs.back().title, "选择要加密的文件进行加密");

  // A fresh window has no identity chosen: it says how to choose one.
  WindowLogic fresh(port_, ui_);
  fresh.SetCommandState(Operation::MenuCommand, true);
  port_.open_answers.push_back(dir_.File("p.age"));
  fresh.DecryptClicked();
  EXPECT_TRUE(StartsWith(LastMessage(), "这个 age 文件是用公钥加密的")) << LastMessage();
  // Choosing a file that holds no identity keeps the choice as it was.
  port_.open_answers.push_back(dir_.File("p"));
  fresh.ChooseIdentityFilesClicked();
  EXPECT_TRUE(fresh.AgeIdentityFiles().empty());
  port_.open_answers.push_back(dir_.File("id.txt"));
  fresh.ChooseIdentityFilesClicked();
  EXPECT_EQ(fresh.AgeIdentityFiles(), std::vector<std::string>{dir_.File("id.txt")});
  port_.open_answers.push_back(dir_.File("p.age"));
  port_.save_answers.push_back(dir_.File("opened"));
  fresh.DecryptClicked();
  testing::WaitIdle(ui_, fresh, Control::DecryptButton);
  EXPECT_EQ(fresh.Result().outcome, Outcome::kDone) << fresh.Result().reason;
  EXPECT_EQ(ReadFile(dir_.File("opened")), "for the recipient");
}

TEST_F(AgeCommands, TheStrengthMeterFollowsTheKeyOnlyForTheStrongFormat) {
  window_->KeyStrengthEstimator = [](const std::string& passphrase) { return EstimateKeyStrength(passphrase); };
  Keys("password", "");
  window_->EncryptionKeyEdited();
  EXPECT_EQ(port_.meter.back().first, std::nullopt);  // hidden for .jmz
  window_->FormatSelected(1);
  EXPECT_EQ(port_.meter.back(), (std::pair<std::optional<int>, std::string>{0, "很弱：几乎马上就能被猜出"}));
  Keys("", "");
  window_->EncryptionKeyEdited();
  EXPECT_EQ(port_.meter.back(), (std::pair<std::optional<int>, std::string>{0, "还没有输入密码"}));
  Keys("q7#Lm9$vX2!pR4&tZ8@w", "");
  window_->EncryptionKeyEdited();
  EXPECT_EQ(port_.meter.back(), (std::pair<std::optional<int>, std::string>{4, "很强"}));
  window_->FormatSelected(0);
  EXPECT_EQ(port_.meter.back().first, std::nullopt);
}

TEST(KeyStrength, ScoresFollowZxcvbnsGuessThresholds) {
  // log2 of 10^3, 10^6, 10^8 and 10^10 guesses: 9.97, 19.93, 26.58, 33.22 bits.
  EXPECT_EQ(ScoreForBits(0), 0);
  EXPECT_EQ(ScoreForBits(9.9), 0);
  EXPECT_EQ(ScoreForBits(10.0), 1);
  EXPECT_EQ(ScoreForBits(19.9), 1);
  EXPECT_EQ(ScoreForBits(20.0), 2);
  EXPECT_EQ(ScoreForBits(26.5), 2);
  EXPECT_EQ(ScoreForBits(26.6), 3);
  EXPECT_EQ(ScoreForBits(33.2), 3);
  EXPECT_EQ(ScoreForBits(33.3), 4);
  EXPECT_EQ(EstimateKeyStrength(""), 0);
  EXPECT_EQ(EstimateKeyStrength("password"), 0);
  EXPECT_LE(EstimateKeyStrength("qwertyuiop"), 1);  // a keyboard row
  EXPECT_LE(EstimateKeyStrength("Password1"), 1);
  EXPECT_EQ(EstimateKeyStrength("q7#Lm9$vX2!pR4&tZ8@w"), 4);
  // A key box full of text is estimated at once.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_GE(EstimateKeyStrength(std::string(2000, 'a') + "密钥"), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST_F(AgeCommands, ACancelledAgeDecryptionLeavesNothing) {
  WriteFile(dir_.File("big"), testing::RandomBytes(400 * 65536, 6));
  window_->FormatSelected(1);
  Keys("k", "k");
  Encrypt(dir_.File("big"), dir_.File("big.age"));
  ASSERT_EQ(window_->Result().outcome, Outcome::kDone);
  std::filesystem::remove(dir_.File("big"));
  const std::size_t files = FilesIn(dir_.path());

  // A second click on the decrypt button at the first bar move, answered Yes.
  std::atomic<bool> clicked{false};
  port_.on_bar_position = [&](int64_t pos) {
    if (clicked || pos <= 0) return;
    clicked = true;
    port_.question_answers.push_back(true);
    std::atomic<bool> done{false};
    ui_.Post([&] {
      window_->DecryptClicked();
      done = true;
    });
    while (!done) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  };
  Decrypt(dir_.File("big.age"), dir_.File("big"));
  port_.on_bar_position = nullptr;
  ASSERT_TRUE(clicked);
  EXPECT_EQ(window_->Result().outcome, Outcome::kCancelled);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("big")));
  EXPECT_EQ(FilesIn(dir_.path()), files);
  EXPECT_EQ(window_->StatusText(), "解密文件已取消。");
}

TEST(AgePlainName, TheNameWithoutAgeElseWithOut) {
  EXPECT_EQ(commands::AgePlainName("/d/report.pdf.age"), "/d/report.pdf");
  EXPECT_EQ(commands::AgePlainName("/d/x.age"), "/d/x");
  EXPECT_EQ(commands::AgePlainName("/d/x.AGE"), "/d/x.AGE.out");
  EXPECT_EQ(commands::AgePlainName("/d/.age"), "/d/.age.out");
  EXPECT_EQ(commands::AgePlainName("/d/x.jmz"), "/d/x.jmz.out");
}

}  // namespace
}  // namespace vesk
