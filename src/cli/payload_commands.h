// The self-decrypting file commands on a terminal: sfx-info, self-decrypt and
// separate, which vesk-cli offers on any such file and the small program
// part of a self-decrypting file (vesk-sfx) on itself, and the run of a
// command with a Terminal that vesk-cli's make-sfx shares. They build a
// request from their arguments and run the commands of
// commands/self_extract_command.h, so that a program built on them needs
// nothing beyond the C and C++ runtimes and zlib.
#pragma once

#include <CLI/CLI.hpp>

#include <iostream>
#include <optional>
#include <string>

#include "cli/cli_command.h"
#include "cli/exit_status.h"
#include "cli/key_text.h"
#include "cli/signals.h"
#include "cli/terminal.h"
#include "commands/command.h"
#include "core/stop.h"

namespace vesk::cli {

// Runs every item of `request`'s plan with a Terminal, the first signal
// stopping the run; prints the written paths on standard output and returns
// the exit status. A stopped run that did not complete shows
// `cancelled_text`.
template <class Request>
int RunOnTerminal(commands::Command<Request>& command, const Request& request, Answer answer,
                  const std::string& cancelled_text) {
  Terminal terminal(TerminalOptions::ForThisProcess(answer));
  terminal.SetTotalSource([&terminal] { return terminal.BarWork(); });
  StopSource stop;
  terminal.ArmTestHold([&stop] { return stop.StopRequested(); });
  SetCancelHandler([&stop, &terminal](int) {
    stop.RequestStop();
    terminal.Interrupt();
  });
  RunContext context{terminal, terminal, stop.Token()};
  RunResult result;
  try {
    const commands::Plan plan = command.MakePlan(request);
    for (const commands::PlannedItem& item : plan.items) {
      result = command.Run(request, item, context);
      if (!result.Completed()) break;
    }
  } catch (const std::exception& e) {
    terminal.PrintLine(e.what());
    result = RunResult::Ended(Outcome::kFailed, Reason::kIo, e.what());
  }
  SetCancelHandler(nullptr);
  // A run that had passed its last check before the cancel came stands.
  if (stop.StopRequested() && !result.Completed()) terminal.ShowStatus(cancelled_text);
  terminal.FinishProgress();
  if (result.Completed()) {
    for (const std::string& path : result.written) std::cout << path << '\n';
  }
  return ExitStatusOf(result);
}

class PayloadCommand final : public CliCommand {
 public:
  // Adds the three subcommands to `app`; the object must outlive the parse.
  // `self` names the running program in messages. With `any_file` each
  // takes an optional FILE (without it: the running program); else they act
  // on the running program only.
  PayloadCommand(CLI::App& app, std::string self, bool any_file);

  bool Parsed() const override;
  // 0 when it completed, 3 when it completed after warnings about a damaged
  // file, 1 on a refusal, cancel or failure, 2 on a usage error.
  int Run() override;

 private:
  int Info() const;
  int SelfDecrypt() const;
  int Separate() const;
  // Without a FILE the commands act on the running program, which must then
  // carry a payload; false (a usage error, said) when it does not.
  bool OwnFileUsable() const;

  std::string self_;
  bool any_file_ = false;
  CLI::App* info_ = nullptr;
  CLI::App* decrypt_ = nullptr;
  CLI::App* separate_ = nullptr;
  std::string file_;
  std::optional<std::string> target_;
  bool yes_ = false;
  bool no_ = false;
  bool legacy_ = false;
  KeySource key_;
};

// When the running program carries a payload: prints what it carries and how
// to self-decrypt or separate it (`invoked_as` is the name it was started
// by) and returns 0. nullopt when it is a plain program.
std::optional<int> DescribeOwnPayload(const std::string& invoked_as);

// "-o": a file, or an existing folder that gets the output under the name
// the command proposes; none: beside the source. The requests of these
// commands ask before replacing: the terminal answers from --yes/--no,
// showing each question with its answer.
commands::OutputRule OutputRuleOf(const std::optional<std::string>& output);
Answer AnswerOf(bool yes, bool no);

}  // namespace vesk::cli
