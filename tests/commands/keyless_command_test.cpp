// The key-less commands' plans: where each output goes under each output
// rule (a container always ends in ".jmz", a folder's in ".tar.jmz"), and
// what a target that is there becomes under each overwrite policy.
#include "commands/keyless_command.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace vesk::commands {
namespace {

// Answers every replace question No and counts them.
class NoPrompter : public Prompter {
 public:
  void ReportMessage(const std::string&) override {}
  bool AskYesNo(const std::string&, const std::string&) override {
    ++asked;
    return false;
  }
  int asked = 0;
};

TEST(KeylessPlan, TargetsFollowTheRuleAndTheDiskAndNeverMeet) {
  testing::TempDir dir;
  testing::WriteFile(dir.File("a.txt"), "a");
  testing::WriteFile(dir.File("b.txt.jmz"), "there");
  testing::WriteFile(dir.File("x.txt.jmz"), "there");
  ASSERT_EQ(::mkdir(dir.File("tree").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(dir.File("out").c_str(), 0755), 0);
  struct Case {
    bool encrypt;
    std::vector<std::string> sources;
    OutputRule rule;
    OverwritePolicy policy;
    std::vector<std::string> targets;  // "" for a source that is not run
    int asked;
  };
  const auto f = [&](const char* name) { return dir.File(name); };
  const Case cases[] = {
      {true, {f("a.txt"), f("tree/")}, OutputRule::Proposed(), OverwritePolicy::kAsk, {f("a.txt.jmz"), f("tree.tar.jmz")}, 0},
      {true, {f("a.txt")}, OutputRule::Exact(f("named.bin")), OverwritePolicy::kAsk, {f("named.jmz")}, 0},
      {true, {f("a.txt"), f("tree")}, OutputRule::Folder(f("out")), OverwritePolicy::kAsk,
       {f("out/a.txt.jmz"), f("out/tree.tar.jmz")}, 0},
      {true, {f("b.txt")}, OutputRule::Proposed(), OverwritePolicy::kAsk, {""}, 1},
      {true, {f("b.txt")}, OutputRule::Proposed(), OverwritePolicy::kKeep, {""}, 0},
      {true, {f("b.txt")}, OutputRule::Proposed(), OverwritePolicy::kReplace, {f("b.txt.jmz")}, 0},
      // Two sources of one batch never write one file.
      {false, {f("x.txt.jmz"), f("out/x.txt.jmz")}, OutputRule::Folder(f("out")), OverwritePolicy::kAsk,
       {f("out/x.txt"), f("out/x (2).txt")}, 0},
      {false, {f("b.txt.jmz")}, OutputRule::Exact(f("b.out")), OverwritePolicy::kAsk, {f("b.out")}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sources.front() + (c.encrypt ? " encrypted" : " decrypted"));
    FileRequest request;
    request.format = Format::kKeyless;
    request.sources = c.sources;
    request.output = c.rule;
    request.overwrite = c.policy;
    NoPrompter ask;
    KeylessEncryptCommand encrypt(ask);
    KeylessDecryptCommand decrypt(ask);
    const Plan plan = c.encrypt ? encrypt.MakePlan(request) : decrypt.MakePlan(request);
    ASSERT_EQ(plan.items.size(), c.targets.size());
    for (std::size_t i = 0; i < c.targets.size(); ++i) {
      EXPECT_EQ(plan.items[i].Runs() ? plan.items[i].target : std::string(), c.targets[i]) << i;
      if (!plan.items[i].Runs()) {
        EXPECT_EQ(plan.items[i].refusal->code, Reason::kTargetKept);
      }
    }
    EXPECT_EQ(ask.asked, c.asked);
  }
}

}  // namespace
}  // namespace vesk::commands
