// The keyed commands' names: the container a file or folder is encrypted
// into, and the output a container is decrypted into (the stored extension
// appended by the engine, so that "-o out.txt" of a ".txt" is not
// "out.txt.txt").
#include "commands/keyed_command.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "crypto/keyed/system_random.h"
#include "support/temp_dir.h"

namespace vesk::commands {
namespace {

class Quiet : public Progress, public Prompter {
 public:
  void ShowStatus(const std::string&) override {}
  void ReportMessage(const std::string&) override {}
  bool AskYesNo(const std::string&, const std::string&) override { return false; }

 protected:
  void OnBarRange(int64_t) override {}
  void OnBarPosition(int64_t) override {}
};

TEST(KeyedNames, EncryptedAndDecryptedTargetsFollowTheRuleAndTheStoredExtension) {
  testing::TempDir dir;
  const auto f = [&](const std::string& name) { return dir.File(name); };
  testing::WriteFile(f("a.txt"), "hello");
  ASSERT_EQ(::mkdir(f("tree").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(f("out").c_str(), 0755), 0);
  // A real container of "a.txt", which stores ".txt".
  {
    Quiet quiet;
    keyed::SystemRandom random;
    KeyedEncryptCommand encrypt(quiet, random);
    FileRequest request;
    request.sources = {f("a.txt")};
    request.keys.key = SecretText(std::string("k"));
    const Plan plan = encrypt.MakePlan(request);
    ASSERT_EQ(plan.items.size(), 1u);
    StopSource stop;
    RunContext context{quiet, quiet, stop.Token()};
    ASSERT_TRUE(encrypt.Run(request, plan.items[0], context).Completed());
  }
  const OutputRule proposed = OutputRule::Proposed();
  struct Case {
    bool encrypt;
    std::string source;
    OutputRule rule;
    std::string expected;
  };
  const Case cases[] = {
      {true, f("a.txt"), proposed, f("a.jmz")},
      {true, f("a.txt"), OutputRule::Exact(f("x.bin")), f("x.jmz")},
      {true, f("a.txt"), OutputRule::Folder(f("out/")), f("out/a.jmz")},
      {true, f("tree"), proposed, f("tree.tar.jmz")},
      {true, f("tree/"), OutputRule::Folder(f("out/")), f("out/tree.tar.jmz")},
      {true, f("tree"), OutputRule::Exact(f("t")), f("t.jmz")},
      {false, f("a.jmz"), proposed, f("a")},
      {false, f("a.jmz"), OutputRule::Exact(f("out.txt")), f("out")},
      {false, f("a.jmz"), OutputRule::Exact(f("plain")), f("plain")},
      {false, f("a.jmz"), OutputRule::Exact(f("out/.txt")), f("out/.txt")},
      {false, f("a.jmz"), OutputRule::Folder(f("out/")), f("out/a")},
      {false, f("a.txt.jmz"), proposed, f("a.txt")},  // no container: nothing stored
  };
  for (const Case& c : cases) {
    const std::string got = c.encrypt ? KeyedTarget(c.rule, c.source) : KeyedPlainTarget(c.rule, c.source);
    EXPECT_EQ(got, c.expected) << c.source << " -> " << c.rule.path;
  }
}

}  // namespace
}  // namespace vesk::commands
