// The pieces of a command that can fail on their own: the overwrite policy,
// where an output goes, free names within a batch, and how a batch's results
// add up.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "commands/batch_runner.h"
#include "commands/overwrite.h"
#include "commands/plan.h"

namespace vesk::commands {
namespace {

PlannedItem Item(std::string source, std::string target) {
  PlannedItem item;
  item.source = std::move(source);
  item.target = std::move(target);
  return item;
}

TEST(OverwritePolicy, EachPolicyAndAnswerDecidesAndAnAnswerForAllStays) {
  struct Case {
    OverwritePolicy policy;
    bool exists;
    ReplaceAnswer answer;  // what the user would say if asked
    OverwriteDecision decision;
    bool asked;
    OverwritePolicy after;
  };
  using P = OverwritePolicy;
  using A = ReplaceAnswer;
  using D = OverwriteDecision;
  const Case cases[] = {
      {P::kAsk, false, A::kYes, D::kWrite, false, P::kAsk},
      {P::kReplace, false, A::kNo, D::kWrite, false, P::kReplace},
      {P::kAsk, true, A::kYes, D::kReplace, true, P::kAsk},
      {P::kAsk, true, A::kNo, D::kKeep, true, P::kAsk},
      {P::kAsk, true, A::kYesToAll, D::kReplace, true, P::kYesToAll},
      {P::kAsk, true, A::kNoToAll, D::kKeep, true, P::kNoToAll},
      {P::kReplace, true, A::kNo, D::kReplace, false, P::kReplace},
      {P::kKeep, true, A::kYes, D::kKeep, false, P::kKeep},
      {P::kYesToAll, true, A::kNo, D::kReplace, false, P::kYesToAll},
      {P::kNoToAll, true, A::kYes, D::kKeep, false, P::kNoToAll},
  };
  for (const Case& c : cases) {
    OverwriteChoices choices(c.policy);
    bool asked = false;
    const OverwriteDecision got = choices.Decide(c.exists, [&] {
      asked = true;
      return c.answer;
    });
    SCOPED_TRACE(static_cast<int>(c.policy) * 100 + c.exists * 10 + static_cast<int>(c.answer));
    EXPECT_EQ(got, c.decision);
    EXPECT_EQ(asked, c.asked);
    EXPECT_EQ(choices.Policy(), c.after);
  }
}

TEST(OutputNaming, TheRuleAndTheProposalGiveTheTarget) {
  struct Case {
    OutputRule rule;
    const char* proposed;
    const char* target;
  };
  const Case cases[] = {
      {OutputRule::Proposed(), "/d/a.txt.jmz", "/d/a.txt.jmz"},
      {OutputRule::Exact("/x/out"), "/d/a.jmz", "/x/out"},
      {OutputRule::Folder("/x"), "/d/a.jmz", "/x/a.jmz"},
      {OutputRule::Folder("/x/"), "/d/a.jmz", "/x/a.jmz"},
      {OutputRule::Folder("/x"), "a.jmz", "/x/a.jmz"},
  };
  for (const Case& c : cases) EXPECT_EQ(TargetFor(c.rule, c.proposed), c.target) << c.proposed;

  const std::set<std::string> on_disk = {"/d/x.jmz", "/d/x (2).jmz", "/d/.profile", "/d/v1.2/notes", "/d/tree"};
  const auto taken = [&](const std::string& p) { return on_disk.count(p) != 0; };
  const std::pair<const char*, const char*> free[] = {
      {"/d/new.jmz", "/d/new.jmz"},          {"/d/x.jmz", "/d/x (3).jmz"},
      {"/d/.profile", "/d/.profile (2)"},    {"/d/v1.2/notes", "/d/v1.2/notes (2)"},
      {"/d/tree", "/d/tree (2)"},
  };
  for (const auto& [path, want] : free) EXPECT_EQ(FreeName(path, taken), want) << path;
}

TEST(OutputNaming, TwoSourcesOfOneBatchNeverShareATargetAndKeptTargetsAreRefused) {
  Plan plan;
  for (const char* source : {"/d/x.bin", "/d/x.txt", "/d/y.txt", "/d/z.txt"}) {
    std::string target = source;
    target = target.substr(0, target.rfind('.')) + ".jmz";
    plan.items.push_back(Item(source, target));
  }
  const std::set<std::string> on_disk = {"/d/y.jmz", "/d/z.jmz"};
  OverwriteChoices choices(OverwritePolicy::kAsk);
  std::vector<std::string> asked;
  DecideTargets(
      plan, choices,
      [&](const PlannedItem& item) {
        asked.push_back(item.target);
        return item.source == "/d/y.txt" ? ReplaceAnswer::kYes : ReplaceAnswer::kNo;
      },
      [&](const std::string& p) { return on_disk.count(p) != 0; });

  EXPECT_EQ(plan.items[0].target, "/d/x.jmz");
  EXPECT_EQ(plan.items[1].target, "/d/x (2).jmz");
  EXPECT_TRUE(plan.items[1].Runs());
  EXPECT_TRUE(plan.items[2].replaces);
  ASSERT_FALSE(plan.items[3].Runs());
  EXPECT_EQ(plan.items[3].refusal->code, Reason::kTargetKept);
  EXPECT_EQ(asked, (std::vector<std::string>{"/d/y.jmz", "/d/z.jmz"}));
}

// A name longer than a file system holds is refused while planning, with a
// reason, instead of failing somewhere in the run without one.
TEST(OutputNaming, ANameLongerThanAFileSystemHoldsIsRefusedBeforeTheRun) {
  Plan plan;
  const std::string longest(255, 'n');
  plan.items.push_back(Item("/d/a", "/d/" + longest));
  plan.items.push_back(Item("/d/b", "/d/" + longest + ".jmz"));
  OverwriteChoices choices(OverwritePolicy::kAsk);
  DecideTargets(plan, choices, {}, [](const std::string&) { return false; });
  EXPECT_TRUE(plan.items[0].Runs());
  ASSERT_FALSE(plan.items[1].Runs());
  EXPECT_EQ(plan.items[1].refusal->code, Reason::kUnsupported);
  EXPECT_NE(plan.items[1].refusal->detail.find("255"), std::string::npos);
}

TEST(BatchRunner, ResultsAddUpAndAStopStartsNothingMore) {
  using O = Outcome;
  struct Case {
    std::vector<O> outcomes;
    O overall;
  };
  const Case cases[] = {
      {{O::kDone, O::kDone}, O::kDone},
      {{O::kDone, O::kDoneAfterDamage}, O::kDoneAfterDamage},
      {{O::kDoneAfterDamage, O::kRefused}, O::kRefused},
      {{O::kRefused, O::kCancelled}, O::kCancelled},
      {{O::kCancelled, O::kFailed, O::kDone}, O::kFailed},
      {{O::kDone, O::kNone}, O::kFailed},
      {{}, O::kNone},
  };
  for (const Case& c : cases) {
    Plan plan;
    for (std::size_t i = 0; i < c.outcomes.size(); ++i) plan.items.push_back(Item(std::to_string(i), "t" + std::to_string(i)));
    std::size_t next = 0;
    const BatchSummary summary = BatchRunner().Run(
        plan, [&](const PlannedItem&) { return RunResult{c.outcomes[next++], {}, {}, Reason::kNone}; }, StopToken());
    EXPECT_EQ(summary.Overall(), c.overall) << c.outcomes.size();
  }

  Plan plan;
  plan.items = {Item("a", "a.out"), Item("b", "b.out"), Item("c", "c.out")};
  plan.items[1].refusal = Refusal{Reason::kTargetKept, "kept"};
  StopSource stop;
  std::vector<std::string> ran, refused;
  const BatchSummary summary = BatchRunner().Run(
      plan,
      [&](const PlannedItem& item) {
        ran.push_back(item.source);
        stop.RequestStop();  // a stop during the first item
        return RunResult::Done({item.target});
      },
      stop.Token(), [&](const PlannedItem& item) { refused.push_back(item.source); });
  EXPECT_EQ(ran, std::vector<std::string>{"a"});
  EXPECT_TRUE(refused.empty());
  EXPECT_EQ(summary.Written(), std::vector<std::string>{"a.out"});
  EXPECT_EQ(summary.Count(Outcome::kCancelled), 2u);
}

}  // namespace
}  // namespace vesk::commands
