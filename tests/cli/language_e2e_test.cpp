// The language vesk-cli and vesk-sfx speak: English on an English (or any
// other non-Chinese) desktop, today's Chinese texts under zh_* and the C
// locale, --lang over both; formats and exit statuses the same in either.
#include <fstream>

#include <gtest/gtest.h>

#include "cli/cli_fixture.h"

namespace vesk {
namespace {

using testing::CliTest;
using testing::ProcessResult;
using testing::ReadFile;
using testing::WriteFile;

// The first CJK ideograph or full-width punctuation mark in UTF-8 text.
std::string FirstCjk(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const std::size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    if (length == 3 && i + 2 < text.size()) {
      const unsigned code = ((c & 0x0Fu) << 12) | ((static_cast<unsigned char>(text[i + 1]) & 0x3Fu) << 6) |
                            (static_cast<unsigned char>(text[i + 2]) & 0x3Fu);
      if ((code >= 0x3000 && code <= 0x9FFF) || (code >= 0xFF00 && code <= 0xFFEF)) return text.substr(i, 3);
    }
    i += length;
  }
  return {};
}

std::map<std::string, std::string> Locale(const std::string& lang) {
  return {{"LANGUAGE", ""}, {"LC_ALL", ""}, {"LC_MESSAGES", ""}, {"LANG", lang}};
}

class CliLanguage : public CliTest {
 protected:
  ProcessResult Sfx(std::vector<std::string> args, const std::map<std::string, std::string>& env) {
    args.insert(args.begin(), VESK_SFX_PATH);
    testing::ProcessOptions options;
    options.env = env;
    return testing::RunProcess(args, options);
  }
  // A keyed container made in Chinese, to read in either language.
  std::string Container() {
    WriteFile(dir_.File("a.txt"), "hello");
    EXPECT_EQ(Cli({"encrypt", dir_.File("a.txt"), "--key-env", "VESK_KEY"}).status, 0);
    return dir_.File("a.jmz");
  }
};

const char* const kSubcommands[] = {"encrypt", "compress", "decrypt", "decompress", "keyless-encrypt",
                                    "keyless-decrypt", "unpack", "shred", "associate", "context-menu",
                                    "unregister", "make-sfx", "sfx-info", "self-decrypt", "separate",
                                    "keygen", "inspect"};

TEST_F(CliLanguage, EveryHelpIsEnglishOnAnEnglishDesktop) {
  for (const char* lang : {"en_US.UTF-8", "de_DE.UTF-8"}) {
    auto top = Cli({"--help"}, Locale(lang));
    EXPECT_EQ(top.status, 0);
    EXPECT_EQ(FirstCjk(top.out + top.err), "") << lang << top.out;
    for (const char* sub : kSubcommands) {
      auto help = Cli({sub, "--help"}, Locale(lang));
      EXPECT_EQ(help.status, 0) << sub;
      EXPECT_EQ(FirstCjk(help.out + help.err), "") << sub << "\n" << help.out;
      EXPECT_NE(help.out.find("Usage:"), std::string::npos) << sub;
    }
  }
  auto sfx = Sfx({"--help"}, Locale("en_US.UTF-8"));
  EXPECT_EQ(sfx.status, 0);
  EXPECT_EQ(FirstCjk(sfx.out), "") << sfx.out;
}

// Refusals and results: the same exit statuses in both languages, and no
// Chinese word on an English desktop.
TEST_F(CliLanguage, RefusalsAndResultsFollowTheLanguage) {
  const std::string jmz = Container();
  WriteFile(dir_.File("plain.bin"), "not a container");
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* chinese;  // a piece of today's text
  };
  const Case cases[] = {
      {{"decrypt", dir_.File("missing.jmz"), "--key-env", "VESK_KEY"}, 1, "不存在"},
      {{"decrypt", jmz, "--key-env", "UNSET_KEY_VARIABLE"}, 1, "环境变量 UNSET_KEY_VARIABLE 未设置"},
      {{"encrypt", dir_.File("a.txt"), "--format", "age", "--level", "1", "--key-env", "VESK_KEY"}, 2,
       "只用于 .jmz 格式"},
      {{"decrypt", jmz, "-o", dir_.File("out"), "--key-env", "VESK_KEY"}, 0, "已完成"},
      {{"decrypt", jmz, "-o", dir_.File("wrong"), "--key-env", "WRONG_KEY"}, 1, "密钥"},
      {{"inspect", dir_.File("plain.bin")}, 1, "不是可以读的 age 加密文件"},
      {{"make-sfx", dir_.File("plain.bin")}, 1, "不能创建自解密文件"},
      {{"sfx-info", dir_.File("plain.bin")}, 1, "不是自解密文件"},
      {{"keygen", "-y", dir_.File("plain.bin")}, 1, "不是有效的 age 身份密钥文件"},
  };
  for (const Case& c : cases) {
    std::filesystem::remove_all(dir_.File("out.txt"));
    std::map<std::string, std::string> env = Locale("en_US.UTF-8");
    env["WRONG_KEY"] = "wrong";
    auto english = Cli(c.args, env);
    EXPECT_EQ(english.status, c.status) << c.args[0] << english.err;
    EXPECT_EQ(FirstCjk(english.out + english.err), "") << c.args[0] << ": " << english.err;
    for (const char* lang : {"zh_CN.UTF-8", "C.UTF-8", "C"}) {
      std::filesystem::remove_all(dir_.File("out.txt"));
      env["LANG"] = lang;
      auto chinese = Cli(c.args, env);
      EXPECT_EQ(chinese.status, c.status) << c.args[0] << lang;
      EXPECT_NE((chinese.out + chinese.err).find(c.chinese), std::string::npos) << lang << ": " << chinese.err;
    }
  }
}

TEST_F(CliLanguage, TheLanguageOptionOverridesTheDesktop) {
  auto english = Cli({"--lang", "en", "decrypt", dir_.File("missing.jmz"), "--key-env", "VESK_KEY"},
                     Locale("zh_CN.UTF-8"));
  EXPECT_EQ(english.status, 1);
  EXPECT_EQ(FirstCjk(english.err), "") << english.err;
  auto chinese = Cli({"--lang=zh", "compress", "--help"}, Locale("en_US.UTF-8"));
  EXPECT_NE(chinese.out.find("压缩率"), std::string::npos) << chinese.out;
  auto refused = Cli({"--lang", "fr", "compress", "--help"}, Locale("en_US.UTF-8"));
  EXPECT_EQ(refused.status, 2);
  // vesk-sfx carries its catalogue: no installed one is needed.
  auto sfx = Sfx({"--lang", "en", "sfx-info"}, Locale("zh_CN.UTF-8"));
  EXPECT_EQ(sfx.status, 2);
  EXPECT_NE(sfx.err.find("program part"), std::string::npos) << sfx.err;
  EXPECT_EQ(FirstCjk(sfx.out + sfx.err), "") << sfx.err;
}

// What peers read stays as it is: an identity file written on an English
// desktop reads as age-keygen writes it.
TEST_F(CliLanguage, AnIdentityFileIsTheSameInEitherLanguage) {
  auto made = Cli({"keygen", "-o", dir_.File("id.txt")}, Locale("en_US.UTF-8"));
  ASSERT_EQ(made.status, 0) << made.err;
  const std::string identity = ReadFile(dir_.File("id.txt"));
  EXPECT_EQ(identity.rfind("# created: ", 0), 0u) << identity;
  EXPECT_NE(identity.find("\n# public key: age1"), std::string::npos) << identity;
  EXPECT_EQ(FirstCjk(identity), "");
}

}  // namespace
}  // namespace vesk
