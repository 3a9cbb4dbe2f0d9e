#include "cli/shred_command.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <chrono>
#include <csignal>

#include "app/window_logic.h"
#include "cli/signals.h"
#include "shred/shredder.h"
#include "threads/queued_ui_thread.h"
#include "threads/worker.h"

namespace vesk::cli {
namespace {

std::atomic<bool> g_interrupted{false};

// One file through the window's command: the open dialog answers with the
// file, the worker asks and shreds. True when the file was shredded.
bool ShredOne(const std::string& file, const PortConfig& base, QueuedUiThread& ui) {
  PortConfig config = base;
  config.source = file;
  CliPort port(config);
  WindowLogic window(port, ui);
  port.SetTotalSource([&window] { return window.ProgressTotal(); });
  port.ArmTestHold(ui, window.Flags());
  window.SetCommandState(Operation::MenuCommand, true);
  window.ShredClicked();
  bool stopped = false;
  while (RunningWorkers() != 0) {
    ui.RunUntil([] { return RunningWorkers() == 0 || g_interrupted.load(); }, std::chrono::milliseconds(50));
    if (g_interrupted && !stopped) {
      stopped = true;
      window.StopShredding();
    }
  }
  port.FinishProgress();
  return !stopped && window.Result().Completed();
}

}  // namespace

int ShredFiles(const std::vector<std::string>& files, Answer answer) {
  PortConfig base;
  base.answer = answer;
  base.interactive = ::isatty(STDIN_FILENO) != 0;
  base.progress = ::isatty(STDERR_FILENO) != 0;
  QueuedUiThread ui;
  CancelOnSignal guard(g_interrupted);
  bool all = true;
  for (const std::string& file : files) {
    if (g_interrupted) return 1;
    if (!ShredOne(file, base, ui)) all = false;
  }
  return all && !g_interrupted ? 0 : 1;
}

ShredCommand::ShredCommand(CLI::App& app) {
  command_ = app.add_subcommand("shred", "粉碎文件: 用零覆盖文件的全部内容一次，写到磁盘后删除 (慎用)");
  command_->add_option("FILE", files_, "要粉碎的文件")->required();
  auto* yes = command_->add_flag("--yes", yes_, "每个文件的确认问题都回答“是”");
  command_->add_flag("--no", no_, "每个文件的确认问题都回答“否”")->excludes(yes);
}

bool ShredCommand::Parsed() const { return command_->parsed(); }

int ShredCommand::Run() { return ShredFiles(files_, yes_ ? Answer::kYes : no_ ? Answer::kNo : Answer::kAsk); }

}  // namespace vesk::cli
