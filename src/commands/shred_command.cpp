#include "commands/shred_command.h"

#include "shred/shredder.h"

namespace vesk::commands {
namespace {

// The run's prompter, with the confirmation (the shredder's only question)
// answered by the request.
class AnsweredConfirmation : public Prompter {
 public:
  AnsweredConfirmation(Prompter& asked, bool answer) : asked_(asked), answer_(answer) {}
  void ReportMessage(const std::string& text) override { asked_.ReportMessage(text); }
  bool AskYesNo(const std::string& text, const std::string& caption) override {
    asked_.ShowAnswered(text, caption, answer_);
    return answer_;
  }
  void ShowAnswered(const std::string& text, const std::string& caption, bool answer) override {
    asked_.ShowAnswered(text, caption, answer);
  }

 private:
  Prompter& asked_;
  bool answer_;
};

}  // namespace

Plan ShredCommand::MakePlan(const ShredRequest& request) {
  Plan plan;
  for (const std::string& file : request.files) plan.items.push_back({file, {}, 0600, false, std::nullopt});
  return plan;
}

RunResult ShredCommand::Run(const ShredRequest& request, const PlannedItem& item, RunContext& context) {
  shred::ShredJob job;
  job.path = item.source;
  job.overwriting = request.overwriting;
  if (request.confirm == Confirm::kAsk) return shred::ShredFile(job, context);
  AnsweredConfirmation answered(context.prompter, request.confirm == Confirm::kYes);
  RunContext with_answer{context.progress, answered, context.stop};
  return shred::ShredFile(job, with_answer);
}

}  // namespace vesk::commands
