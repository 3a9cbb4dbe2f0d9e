// Key files as the age commands read and write them: new identity files
// (private, never replacing anything), recipient lists with their line
// numbers, and the UTF-8 check of passphrases.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <gtest/gtest.h>

#include "crypto/age_files/key_files.h"
#include "platform/staged_file.h"
#include "support/temp_dir.h"

namespace vesk::age_files {
namespace {

using vesk::testing::ReadFile;
using vesk::testing::TempDir;
using vesk::testing::WriteFile;

TEST(AgeKeyFiles, NewIdentityFilesArePrivateCompleteAndNeverReplaceAnything) {
  TempDir dir;
  const mode_t old_mask = ::umask(0);  // a permissive umask must not widen the file
  auto id = GenerateIdentity(1700000000);
  ASSERT_TRUE(id.has_value());
  WriteNewKeyFile(dir.File("key.txt"), id->file_text);
  ::umask(old_mask);
  struct stat st {};
  ASSERT_EQ(::stat(dir.File("key.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  const std::string text = ReadFile(dir.File("key.txt"));
  EXPECT_EQ(text, std::string(id->file_text.view()));
  // Three lines: when, the public key as a comment, the secret key.
  EXPECT_EQ(text.rfind("# created: 2023-11-1", 0), 0u) << text;  // the 14th or 15th, by time zone
  const std::size_t second = text.find('\n') + 1;
  EXPECT_EQ(text.substr(second, 14 + id->public_key.size() + 1), "# public key: " + id->public_key + "\n");
  EXPECT_EQ(id->public_key.size(), 62u);
  EXPECT_EQ(text.find("AGE-SECRET-KEY-1", second), text.find('\n', second) + 1);
  EXPECT_EQ(text.back(), '\n');
  EXPECT_EQ(RecipientsOfIdentities(text), std::vector<std::string>{id->public_key});

  // Nothing that is there is replaced: a file, a dangling link.
  auto other = GenerateIdentity(1700000000);
  EXPECT_THROW(WriteNewKeyFile(dir.File("key.txt"), other->file_text), TargetExistsError);
  EXPECT_EQ(ReadFile(dir.File("key.txt")), text);
  std::filesystem::create_symlink(dir.File("nowhere"), dir.File("link.txt"));
  EXPECT_THROW(WriteNewKeyFile(dir.File("link.txt"), other->file_text), TargetExistsError);
  EXPECT_FALSE(std::filesystem::exists(dir.File("nowhere")));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);  // no staging file left
  EXPECT_THROW(WriteNewKeyFile(dir.File("no-folder/key.txt"), other->file_text), IoError);
}

TEST(AgeKeyFiles, RecipientListsSkipCommentsAndNameTheirBadLine) {
  const std::string a = "age1ql3z7hjy54pw3hyww5ayyfg7zqgvc7w3j2elw8zmrj2kg5sfn9aqmcac8p";
  const std::string b = "age1lggyhqrw2nlhcxprm67z43rta597azn8gknawjehu9d9dl0jq3yqqvfafg";
  RecipientList list = ParseRecipients("# team\n" + a + "\r\n\n" + b + "\n");
  EXPECT_TRUE(list.error.empty()) << list.error;
  EXPECT_EQ(list.recipients, (std::vector<std::string>{a, b}));

  list = ParseRecipients(a + "\n# c\nssh-ed25519 AAAA\n");
  EXPECT_TRUE(list.recipients.empty());
  EXPECT_EQ(list.error, "接收者公钥无效（第 3 行）：只支持 age1…、age1pq1… 形式的 age 公钥和 ssh-ed25519、ssh-rsa 形式的 SSH 公钥。加密文件已取消。");
  // Upper case is no recipient (Bech32 keys of age are written lower case).
  std::string upper = a;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_FALSE(ParseRecipients(upper).error.empty());
  EXPECT_EQ(ParseRecipients("# nobody\n\n").error,
            "没有接收者公钥：请粘贴 age1… 形式的公钥，每行一个，或者选择接收者文件。加密文件已取消。");
  EXPECT_FALSE(RecipientsOfIdentities(a + "\n").has_value());
}

// A file checked when it is chosen in the window: no decryption runs, so its
// error ends by saying the choice was not taken, never as a cancelled one.
TEST(AgeKeyFiles, AnIdentityFileCheckedWhenChosenEndsWithoutACancelledDecryption) {
  TempDir dir;
  WriteFile(dir.File("not-a-key.txt"), "hello\n");
  for (const std::string& path : {dir.File("not-a-key.txt"), dir.File("missing.txt")}) {
    const std::string error = ReadIdentityFile(path).error;
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_TRUE(error.ends_with("这次选择的身份密钥文件都没有采用。")) << error;
    EXPECT_EQ(error.find("解密文件已取消"), std::string::npos) << error;
  }
}

TEST(AgeKeyFiles, PassphrasesMustBeWellFormedUtf8) {
  EXPECT_TRUE(IsUtf8(""));
  EXPECT_TRUE(IsUtf8("plain ascii"));
  EXPECT_TRUE(IsUtf8("口令 tränen 😀"));
  EXPECT_FALSE(IsUtf8("\xC0\xAF"));          // overlong '/'
  EXPECT_FALSE(IsUtf8("\xE0\x80\xAF"));      // overlong, three bytes
  EXPECT_FALSE(IsUtf8("\xED\xA0\x80"));      // a surrogate
  EXPECT_FALSE(IsUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
  EXPECT_FALSE(IsUtf8("ab\xE5\x8F"));        // cut short at the end
  EXPECT_FALSE(IsUtf8("\xBF"));              // a lone continuation byte
  EXPECT_FALSE(IsUtf8("\xC4\xE3\xBA\xC3"));  // GBK "你好"
}

TEST(AgeKeyFiles, WipedStringsAreEmptyAndSecretsKeepTheirBytes) {
  std::string shortone = "pw";
  std::string longone(100, 'k');
  age::SecretBytes s = TakeSecret(longone);
  EXPECT_EQ(s.view(), std::string(100, 'k'));
  EXPECT_TRUE(longone.empty());
  WipeString(shortone);
  EXPECT_TRUE(shortone.empty());
}

}  // namespace
}  // namespace vesk::age_files
