#include "cli/sfx_command.h"

#include <unistd.h>

#include <atomic>
#include <iostream>

#include "app/window_logic.h"
#include "cli/cli_port.h"
#include "cli/output_name.h"
#include "cli/signals.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "selfextract/elf_image.h"
#include "selfextract/sfx_engine.h"
#include "threads/queued_ui_thread.h"
#include "threads/worker.h"

namespace vesk::cli {
namespace {

std::atomic<bool> g_interrupted{false};

constexpr char kCreateCancelled[] = "创建自解密文件已取消。";

}  // namespace

SfxCommands::SfxCommands(CLI::App& app) : payload_(app, "vesk-cli", true) {
  make_ = app.add_subcommand("make-sfx", "把保存密钥的 .jmz 文件做成自解密文件 (a.jmz → a.run)");
  make_->add_option("CONTAINER", container_, "保存密钥的加密文件")->required();
  make_->add_option("-o,--output", target_, "输出文件或者已有的文件夹 (扩展名总是 .run)");
  make_->add_flag("--window", window_, "用同一文件夹里的窗口程序 vesk 代替 vesk-sfx 作为程序部分");
  auto* yes = make_->add_flag("--yes", yes_, "所有问题回答“是” (例如替换已有文件)");
  make_->add_flag("--no", no_, "所有问题回答“否”")->excludes(yes);
}

bool SfxCommands::Parsed() const { return make_->parsed() || payload_.Parsed(); }

int SfxCommands::Run() {
  if (payload_.Parsed()) return payload_.Run();
  try {
    if (make_->parsed()) return MakeSfx();
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
    return 1;
  }
  return 2;
}

// The window's create command driven to its end: the arguments answer its
// dialogs and questions, its run result decides the exit status.
int SfxCommands::MakeSfx() const {
  WindowLogic::OwnFile program;  // empty: vesk-sfx beside vesk-cli, found by the command
  if (window_) {
    program.path = ExtractFilePath(selfextract::RunningProgramPath()) + "vesk";
    if (!FileExists(program.path)) {
      std::cerr << "找不到窗口程序 " << program.path << "：--window 要用与 vesk-cli 安装在同一文件夹里的 vesk。\n";
      return 1;
    }
    try {
      program.image_size = selfextract::ImageSizeOf(program.path);
    } catch (const IoError& e) {
      std::cerr << "不能读取程序部分: " << e.what() << '\n';
      return 1;
    }
  }
  if (!FileExists(container_)) {
    std::cerr << "要创建自解密的文件“" << container_ << "”不存在!创建自解密文件已取消。\n";
    return 1;
  }
  PortConfig config;
  config.source = container_;
  if (target_) {
    if (auto folder = ExistingFolderOf(*target_)) {
      config.output_folder = std::move(folder);
    } else {
      config.target = target_;
    }
  }
  config.answer = yes_ ? Answer::kYes : no_ ? Answer::kNo : Answer::kAsk;
  config.interactive = ::isatty(STDIN_FILENO) != 0;
  config.progress = ::isatty(STDERR_FILENO) != 0;

  QueuedUiThread ui;
  CliPort port(config);
  int status = 1;
  {
    WindowLogic window(port, ui);
    port.SetTotalSource([&window] { return window.BarWork(); });
    port.ArmTestHold(ui, window.Flags());
    window.SetCommandState(Operation::MenuCommand, true);
    window.SfxProgram = program;
    CancelOnSignal guard(g_interrupted);
    window.CreateSelfDecryptingClicked();
    auto finished = [&] {
      return window.Tag(Control::CreateSelfDecryptingButton) == 0 && RunningWorkers() == 0;
    };
    bool cancelled = false;
    while (!finished()) {
      ui.RunUntil([&] { return finished() || g_interrupted.load(); }, std::chrono::milliseconds(50));
      if (g_interrupted && !cancelled && window.Tag(Control::CreateSelfDecryptingButton) != 0) {
        // The command's own cancel, without its question; the worker says
        // how its run ended.
        cancelled = true;
        window.StopAll();
        window.SetCommandState(Operation::CreateSelfDecrypting, true);
      }
    }
    // A run that had passed its last check before the cancel came stands.
    const RunResult result = window.Result();
    if (cancelled && !result.Completed() && window.StatusText() != kCreateCancelled) window.ShowStatus(kCreateCancelled);
    port.FinishProgress();
    if (result.Completed()) {
      for (const std::string& path : result.written) std::cout << path << '\n';
      status = result.outcome == Outcome::kDoneAfterDamage ? 3 : 0;
    }
  }
  return status;
}

}  // namespace vesk::cli
