// vesk-cli reads every known-answer container (tests/data) as a user would:
// the key typed as text (line breaks as the key boxes hold them, converted
// to code page 936), compressed payloads inflated, the stored extension put
// back. The output must have the plaintext's recorded SHA-256.
#include <gtest/gtest.h>

#include "cli_fixture.h"
#include "platform/file_io.h"
#include "support/known_answers.h"

namespace vesk::testing {
namespace {

class CliKnownAnswers : public CliTest {};

TEST_F(CliKnownAnswers, EveryKeyedContainerDecryptsToItsPlaintext) {
  const std::vector<KnownAnswer> answers = LoadKnownAnswers("keyed");
  ASSERT_EQ(answers.size(), 24u);
  for (const KnownAnswer& v : answers) {
    SCOPED_TRACE(v.name);
    const std::string source = dir_.File(v.name + ".jmz");
    WriteFile(source, v.container);
    const std::string output = dir_.File(v.name + "-out") + v.ext;  // the stored extensions are ASCII
    std::vector<std::string> args = {"decrypt", source, "-o", dir_.File(v.name + "-out"), "--key-env", "KEY_TEXT"};
    if (v.needs_older_choice) args.push_back("--legacy");
    const ProcessResult run = Cli(args, {{"KEY_TEXT", v.key_text}});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, output + "\n");
    ASSERT_TRUE(FileExists(output));
    EXPECT_EQ(Sha256Hex(ReadFile(output)), v.plaintext_sha256);
    if (v.needs_older_choice) {
      // Without the choice the oldest cipher is refused and nothing is written.
      const ProcessResult refused = Cli({"decrypt", source, "-o", dir_.File("refused"), "--key-env", "KEY_TEXT"},
                                        {{"KEY_TEXT", v.key_text}});
      EXPECT_EQ(refused.status, 1);
      EXPECT_NE(refused.err.find("文件是由旧的加密算法加密的,不能解密!"), std::string::npos) << refused.err;
      EXPECT_FALSE(PathExists(dir_.File("refused") + v.ext));
    }
  }
  EXPECT_EQ(FilesIn(tmp_.path()), 0u);
}

TEST_F(CliKnownAnswers, EveryKeylessContainerDecryptsToItsPlaintext) {
  const std::vector<KnownAnswer> answers = LoadKnownAnswers("keyless");
  ASSERT_EQ(answers.size(), 18u);
  for (const KnownAnswer& v : answers) {
    SCOPED_TRACE(v.name);
    const std::string source = dir_.File(v.name + ".bin.jmz");
    WriteFile(source, v.container);
    const ProcessResult run = Cli({"keyless-decrypt", source, "--key-env", "KEY_TEXT"}, {{"KEY_TEXT", v.key_text}});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, dir_.File(v.name + ".bin") + "\n");
    EXPECT_EQ(Sha256Hex(ReadFile(dir_.File(v.name + ".bin"))), v.plaintext_sha256);
  }
  EXPECT_EQ(FilesIn(tmp_.path()), 0u);
}

}  // namespace
}  // namespace vesk::testing
