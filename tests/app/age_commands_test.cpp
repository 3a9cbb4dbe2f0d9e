// The window logic of the strong format through a scripted port: the format
// choice and its setting, the passphrase confirmation and strength meter, age
// files recognised by the decrypt button whatever the format, identity files,
// recipients and the key generator.
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "app/key_strength.h"
#include "app/window_logic.h"
#include "app/window_logic_fixture.h"
#include "cli/texts.h"
#include "commands/age_command.h"
#include "crypto/age/encoding.h"
#include "crypto/age_files/engine.h"
#include "crypto/age_files/texts.h"
#include "settings/memory_store.h"
#include "support/recording_reporter.h"
#include "support/scripted_port.h"
#include "threads/worker.h"
#include "support/process.h"
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

  void FocusKeyBox(Control box) override { focused.push_back(box); }
  bool CautiousQuestion(const std::string& text, const std::string& caption) override {
    std::lock_guard lock(mutex);
    cautious_questions.push_back(text + "|" + caption);
    if (cautious_answers.empty()) return false;
    const bool a = cautious_answers.front();
    cautious_answers.pop_front();
    return a;
  }
  std::optional<IdentityOptions> IdentityDialog() override {
    if (identity_answers.empty()) return IdentityOptions{};
    auto [post_quantum, passphrase] = identity_answers.front();
    identity_answers.pop_front();
    return IdentityOptions{post_quantum, SecretText(passphrase)};
  }
  void ShowPassphrase(const std::string& text) override { shown_passphrases.push_back(text); }
  std::optional<std::string> TextDialog(const std::string& text, bool secret) override {
    std::lock_guard lock(mutex);
    text_questions.emplace_back(text, secret);
    if (text_answers.empty()) return std::nullopt;
    auto a = text_answers.front();
    text_answers.pop_front();
    return a;
  }
  void SetKeyText(Control box, const std::string& text) override { keys[box] = text; }

  std::vector<Control> focused;
  std::deque<bool> cautious_answers;
  std::vector<std::string> cautious_questions;
  std::deque<std::pair<bool, std::string>> identity_answers;  // post-quantum, passphrase
  std::vector<std::string> shown_passphrases;
  std::deque<std::optional<std::string>> text_answers;
  std::vector<std::pair<std::string, bool>> text_questions;
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
        std::tuple{"pass", "", "两次输入的密码不相同"},
        // One line: a line break could not be typed at another program's prompt.
        std::tuple{"line one\r\nline two", "line one\r\nline two", "密码里有换行符"},
        std::tuple{"trailing\r\n", "trailing\r\n", "密码里有换行符"}}) {
    SCOPED_TRACE(message);
    Keys(encryption, decryption);
    port_.messages.clear();
    window_->EncryptClicked();
    EXPECT_TRUE(StartsWith(LastMessage(), message)) << LastMessage();
    EXPECT_EQ(window_->Result().outcome, Outcome::kRefused);
    EXPECT_TRUE(port_.open_specs.empty());  // refused before anything is chosen
  }

  // A character GBK cannot hold: the passphrase as typed.
  Keys("第一行 😀 line two", "第一行 😀 line two");
  Encrypt(dir_.File("doc.txt"), dir_.File("doc.txt.age"));
  ASSERT_EQ(window_->Result().outcome, Outcome::kDone) << window_->Result().reason;
  EXPECT_EQ(port_.save_specs.back().file_name, dir_.File("doc.txt") + ".age");
  EXPECT_EQ(window_->StatusText(), "age 强加密文件 ... 已完成。 — " + dir_.File("doc.txt.age"));
  const std::string sealed = ReadFile(dir_.File("doc.txt.age"));
  EXPECT_TRUE(StartsWith(sealed, "age-encryption.org/v1\n-> scrypt ")) << sealed.substr(0, 40);

  // The engine opens it with the passphrase as typed.
  age_files::DecryptJob job;
  job.source_path = dir_.File("doc.txt.age");
  job.target_path = dir_.File("direct");
  job.passphrase = age::SecretBytes::FromString("第一行 😀 line two");
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
  port_.identity_answers.push_back({false, ""});
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
  port_.identity_answers.push_back({false, ""});
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

TEST_F(AgeCommands, RefusedPastesAreNamedInVeskClisWords) {
  window_->KeyPasteRefused(WindowLogic::KeyPasteRefusal::kTooLong, 1028);
  EXPECT_EQ(LastMessage(), cli::text::KeyTooLong(1028));
  EXPECT_EQ(LastMessage(), "密钥太长: 最多 1028 个字符 (一个换行算两个)。");
  window_->KeyPasteRefused(WindowLogic::KeyPasteRefusal::kLineBreak, 1028);
  EXPECT_TRUE(StartsWith(LastMessage(), "粘贴的文本里有换行符")) << LastMessage();
}

TEST_F(AgeCommands, AWeakPassphraseIsUsedOnlyWhenTheUserSaysSo) {
  WriteFile(dir_.File("p"), "plain");
  window_->FormatSelected(1);
  window_->KeyStrengthEstimator = [](const std::string& passphrase) { return EstimateKeyStrength(passphrase); };
  struct Row {
    const char* passphrase;
    std::optional<bool> answer;  // unset: not asked
    bool encrypted;
  };
  for (const Row& row : {Row{"password", false, false}, Row{"qwerty", true, true},
                         Row{"q7#Lm9$vX2!pR4&tZ8@w", std::nullopt, true}}) {
    SCOPED_TRACE(row.passphrase);
    std::filesystem::remove(dir_.File("p.age"));
    port_.cautious_questions.clear();
    port_.open_specs.clear();
    Keys(row.passphrase, row.passphrase);
    if (row.answer) port_.cautious_answers.push_back(*row.answer);
    if (row.encrypted) {
      Encrypt(dir_.File("p"), dir_.File("p.age"));
    } else {
      window_->EncryptClicked();
    }
    EXPECT_EQ(port_.cautious_questions.size(), row.answer ? 1u : 0u);
    if (row.answer) { EXPECT_NE(port_.cautious_questions[0].find("仍然用这个密码加密吗"), std::string::npos); }
    EXPECT_EQ(std::filesystem::exists(dir_.File("p.age")), row.encrypted);
    if (!row.encrypted) {
      EXPECT_TRUE(port_.open_specs.empty());  // asked before any dialog
      EXPECT_EQ(window_->Result().outcome, Outcome::kCancelled);
    }
  }
}

TEST_F(AgeCommands, TheGeneratedPassphraseFillsBothBoxesAndIsShown) {
  window_->FormatSelected(1);
  window_->GeneratePassphraseClicked();
  const std::string phrase = port_.KeyText(Control::EncryptionKey);
  EXPECT_EQ(phrase.size(), 7u * 5 + 6);  // seven words of five letters
  EXPECT_EQ(port_.KeyText(Control::DecryptionKey), phrase);
  EXPECT_EQ(port_.shown_passphrases, std::vector<std::string>{phrase});
}

// Every kind of identity the generator writes opens what is encrypted to its
// public key; a protected one asks for its passphrase in a dialog.
TEST_F(AgeCommands, EveryGeneratedIdentityKindRoundTrips) {
  WriteFile(dir_.File("p"), "for the recipient");
  struct Row {
    bool post_quantum;
    const char* passphrase;
    std::optional<std::string> typed;  // the dialog's answer at decryption
    const char* prefix;
    const char* stanza;
    bool opened;
  };
  const Row rows[] = {
      {true, "", std::nullopt, "age1pq1", "-> mlkem768x25519 ", true},
      {false, "", std::nullopt, "age1", "-> X25519 ", true},
      {true, "id passphrase", "id passphrase", "age1pq1", "-> mlkem768x25519 ", true},
      {false, "id passphrase", "wrong", "age1", "-> X25519 ", false},
      {false, "id passphrase", std::nullopt, "age1", "-> X25519 ", false},
  };
  int n = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(n);
    const std::string id = dir_.File("id" + std::to_string(n)), sealed = dir_.File("p" + std::to_string(n) + ".age"),
                      out = dir_.File("out" + std::to_string(n));
    ++n;
    port_.identity_answers.push_back({row.post_quantum, row.passphrase});
    port_.save_answers.push_back(id);
    window_->GenerateIdentityClicked();
    const std::string key = port_.clipboard;
    EXPECT_TRUE(StartsWith(key, row.prefix)) << key.substr(0, 10);
    EXPECT_EQ(key.size(), row.post_quantum ? 1959u : 62u);
    const bool is_protected = *row.passphrase != 0;
    EXPECT_EQ(port_.save_specs.back().file_name, is_protected ? "身份密钥.age" : "身份密钥.txt");
    EXPECT_EQ(StartsWith(ReadFile(id), "-----BEGIN AGE ENCRYPTED FILE-----"), is_protected);
    EXPECT_EQ(ReadFile(id).find("AGE-SECRET-KEY") == std::string::npos, is_protected);
    // The recipients box takes the key whole, however long.
    port_.recipients_answers.push_back(key + "\n");
    port_.open_answers.push_back(dir_.File("p"));
    port_.save_answers.push_back(sealed);
    window_->EncryptToRecipientsClicked();
    WaitIdle(Control::EncryptButton);
    ASSERT_EQ(window_->Result().outcome, Outcome::kDone) << window_->Result().reason;
    EXPECT_TRUE(StartsWith(ReadFile(sealed), std::string("age-encryption.org/v1\n") + row.stanza));

    WindowLogic fresh(port_, ui_);
    fresh.SetCommandState(Operation::MenuCommand, true);
    port_.open_answers.push_back(id);
    fresh.ChooseIdentityFilesClicked();
    ASSERT_EQ(fresh.AgeIdentityFiles(), std::vector<std::string>{id}) << LastMessage();
    port_.text_questions.clear();
    if (is_protected) port_.text_answers.push_back(row.typed);
    port_.open_answers.push_back(sealed);
    port_.save_answers.push_back(out);
    fresh.DecryptClicked();
    testing::WaitIdle(ui_, fresh, Control::DecryptButton);
    EXPECT_EQ(fresh.Result().outcome == Outcome::kDone, row.opened) << fresh.Result().reason;
    EXPECT_EQ(std::filesystem::exists(out), row.opened);
    if (row.opened) { EXPECT_EQ(ReadFile(out), "for the recipient"); }
    ASSERT_EQ(port_.text_questions.size(), is_protected ? 1u : 0u);
    if (is_protected) {
      EXPECT_EQ(port_.text_questions[0], std::pair(age_files::text::ProtectedIdentityPrompt(id), true));
      if (!row.opened) { EXPECT_TRUE(StartsWith(LastMessage(), "密码错误")) << LastMessage(); }
    }
  }
}

// A protected identity file from the generator is what "age-keygen | age -p
// -a" writes: the age tool asks for its passphrase and opens the file with it.
TEST_F(AgeCommands, AProtectedIdentityFromTheWindowOpensWithTheAgeTool) {
  std::string age_tool;
  if (FILE* found = ::popen("command -v age", "r")) {
    char line[512] = {};
    if (std::fgets(line, sizeof line, found) != nullptr) age_tool = std::string(line, std::strcspn(line, "\n"));
    ::pclose(found);
  }
  if (age_tool.empty()) GTEST_SKIP() << "the age tool is not installed";
  WriteFile(dir_.File("p"), "for age");
  port_.identity_answers.push_back({false, "id passphrase"});
  port_.save_answers.push_back(dir_.File("id.age"));
  window_->GenerateIdentityClicked();
  port_.recipients_answers.push_back(port_.clipboard);
  port_.open_answers.push_back(dir_.File("p"));
  port_.save_answers.push_back(dir_.File("p.age"));
  window_->EncryptToRecipientsClicked();
  WaitIdle(Control::EncryptButton);
  ASSERT_EQ(window_->Result().outcome, Outcome::kDone) << window_->Result().reason;
  std::string seen;
  const int status = testing::RunInTerminal(
      {age_tool, "-d", "-i", dir_.File("id.age"), "-o", dir_.File("out"), dir_.File("p.age")}, {},
      [&](int master, int, int) {
        char buffer[256];
        while (seen.find("passphrase") == std::string::npos) {
          pollfd in{master, POLLIN, 0};
          if (::poll(&in, 1, 20000) <= 0) return;
          const ssize_t n = ::read(master, buffer, sizeof buffer);
          if (n <= 0) return;
          seen.append(buffer, static_cast<std::size_t>(n));
        }
        const std::string typed = "id passphrase\n";
        ASSERT_EQ(::write(master, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
      });
  EXPECT_EQ(status, 0) << seen;
  EXPECT_EQ(ReadFile(dir_.File("out")), "for age");
}

// SSH keys: a ".pub" line as a recipient, the private key as an identity;
// a protected key asks for its passphrase in a dialog, once for several files.
TEST_F(AgeCommands, SshKeysServeAsRecipientsAndIdentities) {
  if (std::system("command -v ssh-keygen >/dev/null") != 0) GTEST_SKIP() << "ssh-keygen is not installed";
  const struct {
    const char* type;
    const char* passphrase;
  } kKeys[] = {{"ed25519", ""}, {"ed25519", "ssh passphrase"}, {"rsa", "rsa passphrase"}};
  for (const auto& [type, passphrase] : kKeys) {
    SCOPED_TRACE(std::string(type) + " " + passphrase);
    const std::string key = dir_.File(std::string(type) + (*passphrase ? "_protected_key" : "_plain_key"));
    const std::string make =
        "ssh-keygen -q -t " + std::string(type) + " -C me@host -N '" + std::string(passphrase) + "' -f " + key;
    ASSERT_EQ(std::system(make.c_str()), 0);
    std::vector<std::string> sealed;
    for (const char* name : {"a", "b"}) {
      const std::string plain = dir_.File(std::string(name) + key.substr(key.rfind('/') + 1));
      WriteFile(plain, name);
      sealed.push_back(plain + ".age");
      port_.recipients_answers.push_back(ReadFile(key + ".pub"));
      port_.open_answers.push_back(plain);
      port_.save_answers.push_back(sealed.back());
      window_->EncryptToRecipientsClicked();
      WaitIdle(Control::EncryptButton);
      ASSERT_EQ(window_->Result().outcome, Outcome::kDone) << window_->Result().reason;
      std::filesystem::remove(plain);
    }
    EXPECT_TRUE(StartsWith(ReadFile(sealed[0]), "age-encryption.org/v1\n-> ssh-" + std::string(type) + " "));
    port_.open_answers.push_back(key);
    window_->ChooseIdentityFilesClicked();
    ASSERT_EQ(window_->AgeIdentityFiles(), std::vector<std::string>{key}) << LastMessage();
    port_.text_questions.clear();
    if (*passphrase) port_.text_answers.push_back(passphrase);
    port_.open_many_answers.push_back(sealed);
    window_->DecryptClicked();
    WaitIdle(Control::DecryptButton);
    EXPECT_EQ(ReadFile(sealed[0].substr(0, sealed[0].size() - 4)), "a");
    EXPECT_EQ(ReadFile(sealed[1].substr(0, sealed[1].size() - 4)), "b");
    ASSERT_EQ(port_.text_questions.size(), *passphrase ? 1u : 0u);
    if (*passphrase) {
      EXPECT_EQ(port_.text_questions[0].first, age_files::text::SshKeyPassphrasePrompt(key));
    }
  }
}

// A plugin's requests reach the window's dialogs: its PIN as a secret line,
// its confirmation as a question.
TEST_F(AgeCommands, PluginRequestsAreAskedInDialogs) {
  const std::string path = std::string(VESK_TEST_PLUGIN_DIR) + ":" + (getenv("PATH") ? getenv("PATH") : "");
  setenv("PATH", path.c_str(), 1);
  std::vector<uint8_t> secret(16);
  for (std::size_t i = 0; i < secret.size(); ++i) secret[i] = static_cast<uint8_t>(i * 7 + 1);
  const std::string recipient = age::Bech32Encode("age1vesktest", secret);
  std::string identity = age::Bech32Encode("age-plugin-vesktest-", secret);
  for (char& c : identity) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  WriteFile(dir_.File("id.txt"), identity + "\n");
  WriteFile(dir_.File("p"), "plugin plain");
  port_.recipients_answers.push_back(recipient + "\n");
  port_.open_answers.push_back(dir_.File("p"));
  port_.save_answers.push_back(dir_.File("p.age"));
  window_->EncryptToRecipientsClicked();
  WaitIdle(Control::EncryptButton);
  ASSERT_EQ(window_->Result().outcome, Outcome::kDone) << window_->Result().reason;
  port_.open_answers.push_back(dir_.File("id.txt"));
  window_->ChooseIdentityFilesClicked();
  ASSERT_EQ(window_->AgeIdentityFiles().size(), 1u) << LastMessage();

  struct Row {
    const char* variable;
    std::optional<std::string> typed;  // the PIN typed, for VESKTEST_PIN
    bool confirmed;                    // the question's answer, for VESKTEST_CONFIRM
    bool opened;
  };
  int n = 0;
  // The plugin's message ("looking for a key", such as "touch your key")
  // is shown while the plugin waits for it to be read, not afterwards.
  std::atomic<int> shown_while_waiting{0};
  const std::string mark = dir_.File("mark");
  setenv("VESKTEST_MARK", mark.c_str(), 1);
  port_.on_message = [&](const std::string& text) {
    if (text == "looking for a key" && !std::filesystem::exists(mark)) ++shown_while_waiting;
  };
  for (const Row& row : {Row{"VESKTEST_PIN", "4321", false, true}, Row{"VESKTEST_PIN", "1111", false, false},
                         Row{"VESKTEST_PIN", std::nullopt, false, false}, Row{"VESKTEST_CONFIRM", std::nullopt, true, true},
                         Row{"VESKTEST_NOTHING", std::nullopt, false, true}}) {
    SCOPED_TRACE(n);
    setenv(row.variable, row.typed || !row.confirmed ? "4321" : "1", 1);
    const std::string out = dir_.File("out" + std::to_string(n++));
    port_.text_questions.clear();
    port_.questions.clear();
    std::filesystem::remove(mark);
    if (std::string(row.variable) == "VESKTEST_PIN") port_.text_answers.push_back(row.typed);
    if (row.confirmed) port_.question_answers.push_back(true);
    Decrypt(dir_.File("p.age"), out);
    unsetenv(row.variable);
    EXPECT_EQ(window_->Result().outcome == Outcome::kDone, row.opened) << window_->Result().reason;
    EXPECT_EQ(std::filesystem::exists(out), row.opened);
    if (std::string(row.variable) == "VESKTEST_PIN") {
      ASSERT_EQ(port_.text_questions.size(), 1u);
      EXPECT_TRUE(port_.text_questions[0].second);  // secret: not shown
    } else {
      EXPECT_EQ(port_.questions.size(), row.confirmed ? 1u : 0u);
    }
    EXPECT_EQ(shown_while_waiting, n);
  }
  port_.on_message = nullptr;
  unsetenv("VESKTEST_MARK");
}

TEST_F(AgeCommands, TheInspectionItemShowsWhatTheHeaderSays) {
  WriteFile(dir_.File("plain"), "not an age file");
  window_->FormatSelected(1);
  Keys("k7#Vq!x9-pLm2", "k7#Vq!x9-pLm2");
  Encrypt(dir_.File("plain"), dir_.File("pass.age"));
  std::optional<age_files::NewIdentity> pq = age_files::GenerateIdentity(0, true);
  ASSERT_TRUE(pq);
  port_.recipients_answers.push_back(pq->public_key);
  port_.open_answers.push_back(dir_.File("plain"));
  port_.save_answers.push_back(dir_.File("pq.age"));
  window_->EncryptToRecipientsClicked();
  WaitIdle(Control::EncryptButton);
  // A FIFO is refused without being opened: nothing would ever write into it.
  ASSERT_EQ(::mkfifo(dir_.File("fifo").c_str(), 0600), 0);
  for (const auto& [file, says] : {std::pair{"pass.age", "密码 (scrypt)\nscrypt 工作因子: 2^10\n抗量子计算机: 否"},
                                   std::pair{"pq.age", "后量子公钥 (mlkem768x25519)\n抗量子计算机: 是"},
                                   std::pair{"plain", "不是可以读的 age 加密文件"},
                                   std::pair{"fifo", "不是可以读的 age 加密文件"}}) {
    SCOPED_TRACE(file);
    port_.open_answers.push_back(dir_.File(file));
    window_->InspectAgeFileClicked();
    ASSERT_TRUE(WaitForWorkers(std::chrono::seconds(20)));
    EXPECT_NE(LastMessage().find(says), std::string::npos) << LastMessage();
  }
  EXPECT_EQ(port_.open_specs.back().title, "选择要查看的 age 加密文件");
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
