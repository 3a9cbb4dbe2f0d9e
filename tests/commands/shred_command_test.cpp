// The shred command's answer policy: the request answers the confirmation
// (shown with its answer, never asked) or leaves it to the run's prompter.
#include "commands/shred_command.h"

#include <gtest/gtest.h>

#include "platform/file_io.h"
#include "support/recording_reporter.h"
#include "support/temp_dir.h"

namespace vesk::commands {
namespace {

// Records the answers shown besides what RecordingReporter records.
class Answers : public testing::RecordingReporter {
 public:
  void ShowAnswered(const std::string& text, const std::string& /*caption*/, bool answer) override {
    shown.emplace_back(text, answer);
  }
  std::vector<std::pair<std::string, bool>> shown;
};

TEST(ShredCommand, TheConfirmationIsAnsweredByTheRequestOrAsked) {
  struct Case {
    Confirm confirm;
    bool prompter_says;
    bool asked, shown, shredded;
  };
  const Case cases[] = {
      {Confirm::kAsk, true, true, false, true},
      {Confirm::kAsk, false, true, false, false},
      {Confirm::kYes, false, false, true, true},
      {Confirm::kNo, true, false, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.confirm) * 2 + (c.prompter_says ? 1 : 0));
    testing::TempDir dir;
    const std::string path = dir.File("f");
    testing::WriteFile(path, "data");
    Answers answers;
    answers.default_answer = c.prompter_says;
    int overwriting = 0;
    ShredRequest request{{path}, c.confirm, [&] { ++overwriting; }};
    ShredCommand command;
    const Plan plan = command.MakePlan(request);
    ASSERT_EQ(plan.items.size(), 1u);
    RunContext context{answers, answers, {}};
    const RunResult result = command.Run(request, plan.items[0], context);

    EXPECT_EQ(answers.questions.size(), c.asked ? 1u : 0u);
    ASSERT_EQ(answers.shown.size(), c.shown ? 1u : 0u);
    if (c.shown) {
      EXPECT_EQ(answers.shown[0], std::make_pair("真的要粉碎文件“" + path + "”吗？", c.shredded));
    }
    EXPECT_EQ(result.outcome, c.shredded ? Outcome::kDone : Outcome::kCancelled);
    EXPECT_EQ(overwriting, c.shredded ? 1 : 0);
    EXPECT_EQ(PathExists(path), !c.shredded);
  }
}

}  // namespace
}  // namespace vesk::commands
