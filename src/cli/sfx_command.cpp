#include "cli/sfx_command.h"

#include <iostream>

#include "cli/payload_commands.h"
#include "cli/texts.h"
#include "commands/self_extract_command.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "selfextract/elf_image.h"
#include "selfextract/texts.h"

namespace vesk::cli {

MakeSfxCommand::MakeSfxCommand(CLI::App& app) {
  make_ = app.add_subcommand("make-sfx", text::kMakeSfxHelp);
  make_->add_option("CONTAINER", container_, text::kMakeSfxContainer)->required();
  make_->add_option("-o,--output", target_, text::kMakeSfxOutput);
  make_->add_flag("--window", window_, text::kMakeSfxWindow);
  auto* yes = make_->add_flag("--yes", yes_, text::kSfxAnswerYes);
  make_->add_flag("--no", no_, text::kSfxAnswerNo)->excludes(yes);
}

bool MakeSfxCommand::Parsed() const { return make_->parsed(); }

int MakeSfxCommand::Run() {
  commands::CreateSfxRequest request;  // no program: vesk-sfx beside vesk-cli, found by the command
  try {
    if (window_) {
      request.program = ExtractFilePath(selfextract::RunningProgramPath()) + "vesk";
      if (!FileExists(request.program)) {
        std::cerr << text::WindowProgramMissing(request.program) << '\n';
        return kExitFailed;
      }
      try {
        request.image_size = selfextract::ImageSizeOf(request.program);
      } catch (const IoError& e) {
        std::cerr << text::ProgramPartUnreadable(e.what()) << '\n';
        return kExitFailed;
      }
    }
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
    return kExitFailed;
  }
  if (!FileExists(container_)) {
    std::cerr << selfextract::text::ContainerMissing(container_) << '\n';
    return kExitFailed;
  }
  request.container = container_;
  request.output = OutputRuleOf(target_);
  commands::CreateSfxCommand command;
  return RunOnTerminal(command, request, AnswerOf(yes_, no_), selfextract::text::kCreateCancelled);
}

}  // namespace vesk::cli
