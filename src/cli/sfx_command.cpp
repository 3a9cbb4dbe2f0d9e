#include "cli/sfx_command.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <functional>
#include <iostream>
#include <vector>

#include "app/window_logic.h"
#include "cli/signals.h"
#include "cli/cli_port.h"
#include "cli/output_name.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "selfextract/elf_image.h"
#include "selfextract/layout.h"
#include "selfextract/sfx_engine.h"
#include "threads/queued_ui_thread.h"
#include "threads/worker.h"

namespace vesk::cli {
namespace {

std::atomic<bool> g_interrupted{false};

// A reporter for reading a file's payload header without a window: damage
// reports go to standard error, the status text is kept.
class HeaderReader final : public Reporter {
 public:
  void ReportMessage(const std::string& text) override {
    if (!quiet) std::cerr << text << '\n';
  }
  void ShowStatus(const std::string& text) override { status = text; }
  bool AskYesNo(const std::string&, const std::string&) override { return false; }
  void SetCommandState(Operation, bool) override {}
  std::string status;
  bool quiet = false;

 protected:
  void OnBarRange(int64_t) override {}
  void OnBarPosition(int64_t) override {}
};

// One command of the window, driven to its end. `start` prepares the window
// and clicks the command's button (false: it refused before that, having
// said why). The window's run result decides the exit status and names the
// files written.
struct Drive {
  PortConfig config;
  Operation busy = Operation::CreateSelfDecrypting;
  std::string cancelled_text;
  std::function<bool(WindowLogic&)> start;

  int operator()() const {
    PortConfig terminal = config;
    terminal.interactive = ::isatty(STDIN_FILENO) != 0;
    terminal.progress = ::isatty(STDERR_FILENO) != 0;
    QueuedUiThread ui;
    CliPort port(terminal);
    int status = 1;
    {
      WindowLogic window(port, ui);
      port.SetTotalSource([&window] { return window.BarWork(); });
      port.ArmTestHold(ui, window.Flags());
      window.SetCommandState(Operation::MenuCommand, true);
      CancelOnSignal guard(g_interrupted);
      if (!start(window)) return 1;
      auto finished = [&] { return window.Tag(ControlFor(busy)) == 0 && !window.Compression.Busy() && RunningWorkers() == 0; };
      bool cancelled = false;
      while (!finished()) {
        ui.RunUntil([&] { return finished() || g_interrupted.load(); }, std::chrono::milliseconds(50));
        if (g_interrupted && !cancelled && window.Tag(ControlFor(busy)) != 0) {
          // The command's own cancel, without its question; the worker says
          // how its run ended.
          cancelled = true;
          window.StopAll();
          window.SetCommandState(busy, true);
        }
      }
      // A run that had passed its last check before the cancel came stands.
      const RunResult result = window.Result();
      if (cancelled && !result.Completed() && window.StatusText() != cancelled_text) window.ShowStatus(cancelled_text);
      port.FinishProgress();
      if (result.Completed()) {
        for (const std::string& path : result.written) std::cout << path << '\n';
        status = result.outcome == Outcome::kDoneAfterDamage ? 3 : 0;
      }
    }
    return status;
  }
};

// Without a FILE the commands act on the running program, which must then
// carry a payload; false (a usage error, said) when it does not.
bool OwnFileUsable(const std::string& file) {
  if (!file.empty()) return true;
  HeaderReader reader;
  reader.quiet = true;
  if (selfextract::ReadRunningSelfDecryptInfo(reader).CommandsEnabled) return true;
  std::cerr << "请给出自解密文件 FILE (vesk-cli 本身不是自解密文件)。\n";
  return false;
}

Answer AnswerOf(bool yes, bool no) { return yes ? Answer::kYes : no ? Answer::kNo : Answer::kAsk; }

// "-o": a file, or an existing folder that gets the output under the name
// the command proposes, as for the other commands.
void SetOutput(PortConfig& config, const std::optional<std::string>& output) {
  if (!output) return;
  if (auto folder = ExistingFolderOf(*output)) {
    config.output_folder = std::move(folder);
  } else {
    config.target = output;
  }
}

// Reads FILE's payload header into the window (the running program when
// `file` is empty); false, having said why, when it carries none.
bool ReadOwnFile(WindowLogic& window, const std::string& file) {
  if (!file.empty() && !FileExists(file)) {
    std::cerr << "文件“" << file << "”不存在!\n";
    return false;
  }
  if (file.empty()) {
    window.ReadSelfDecryptInfo();
  } else {
    window.ReadSelfDecryptInfo(WindowLogic::OwnFile{file, 0});
  }
  if (window.OwnFileSize() < selfextract::SelfDecryptMinimum(window.ImageSize())) {
    std::cerr << (file.empty() ? std::string("vesk-cli") : file) << " 不是自解密文件。\n";
    return false;
  }
  return true;
}

}  // namespace

SfxCommands::SfxCommands(CLI::App& app) {
  auto add_answers = [this](CLI::App* sub) {
    auto* yes = sub->add_flag("--yes", yes_, "所有问题回答“是” (例如替换已有文件)");
    sub->add_flag("--no", no_, "所有问题回答“否”")->excludes(yes);
  };

  make_ = app.add_subcommand("make-sfx", "把保存密钥的 .jmz 文件做成自解密文件 (a.jmz → a.run)");
  make_->add_option("CONTAINER", file_, "保存密钥的加密文件")->required();
  make_->add_option("-o,--output", target_, "输出文件或者已有的文件夹 (扩展名总是 .run)");
  make_->add_flag("--window", window_, "用同一文件夹里的窗口程序 vesk 代替 vesk-cli 作为程序部分");
  add_answers(make_);

  info_ = app.add_subcommand("sfx-info", "显示自解密文件附带的文件 (不运行它)");
  info_->add_option("FILE", file_, "自解密文件 (省略时是正在运行的程序本身)");

  decrypt_ = app.add_subcommand("self-decrypt", "解密自解密文件附带的文件 (不运行它)");
  decrypt_->add_option("FILE", file_, "自解密文件 (省略时是正在运行的程序本身)");
  decrypt_->add_option("-o,--output", target_, "输出文件, 不含扩展名 (保存的扩展名会加上)，或者已有的文件夹");
  auto* file = decrypt_->add_option("--key-file", key_.file, "解密的密钥：从文件读取 (UTF-8)");
  decrypt_->add_option("--key-env", key_.env, "解密的密钥：从环境变量读取")->excludes(file);
  decrypt_->add_flag("--legacy", legacy_, "接受最旧的加密算法");
  add_answers(decrypt_);

  separate_ = app.add_subcommand("separate", "把自解密文件拆成程序部分和 .jmz 文件 (不运行它)");
  separate_->add_option("FILE", file_, "自解密文件 (省略时是正在运行的程序本身)");
  separate_->add_option("-o,--output", target_, "附带的加密文件保存为 (扩展名总是 .jmz) 或者已有的文件夹; 程序部分写在同一文件夹");
  add_answers(separate_);
}

bool SfxCommands::Parsed() const {
  return make_->parsed() || info_->parsed() || decrypt_->parsed() || separate_->parsed();
}

int SfxCommands::Run() const {
  try {
    if (make_->parsed()) return MakeSfx();
    if (info_->parsed()) return Info();
    if (decrypt_->parsed()) return SelfDecrypt();
    if (separate_->parsed()) return Separate();
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
    return 1;
  }
  return 2;
}

int SfxCommands::MakeSfx() const {
  std::string program = selfextract::kRunningProgramFile;
  if (window_) {
    program = ExtractFilePath(selfextract::RunningProgramPath()) + "vesk";
    if (!FileExists(program)) {
      std::cerr << "找不到窗口程序 " << program << "：--window 要用与 vesk-cli 安装在同一文件夹里的 vesk。\n";
      return 1;
    }
  }
  int64_t image_size = 0;
  try {
    image_size = selfextract::ImageSizeOf(program);
  } catch (const IoError& e) {
    std::cerr << "不能读取程序部分: " << e.what() << '\n';
    return 1;
  }
  if (!FileExists(file_)) {
    std::cerr << "要创建自解密的文件“" << file_ << "”不存在!创建自解密文件已取消。\n";
    return 1;
  }
  Drive drive;
  drive.config.source = file_;
  SetOutput(drive.config, target_);
  drive.config.answer = AnswerOf(yes_, no_);
  drive.busy = Operation::CreateSelfDecrypting;
  drive.cancelled_text = "创建自解密文件已取消。";
  drive.start = [&](WindowLogic& w) {
    w.OwnFilePath = program;
    w.SetImageSize(image_size);
    w.CreateSelfDecryptingClicked();
    return true;
  };
  return drive();
}

int SfxCommands::Info() const {
  if (!OwnFileUsable(file_)) return 2;
  const std::string path = file_.empty() ? std::string(selfextract::kRunningProgramFile) : file_;
  const std::string shown = file_.empty() ? std::string("vesk-cli") : file_;
  if (!file_.empty() && !FileExists(file_)) {
    std::cerr << "文件“" << file_ << "”不存在!\n";
    return 1;
  }
  int64_t image_size = 0;
  try {
    image_size = selfextract::ImageSizeOf(path);
  } catch (const IoError&) {
    std::cerr << shown << " 不是自解密文件 (不是可以运行的程序文件)。\n";
    return 1;
  }
  HeaderReader reader;
  const selfextract::SelfDecryptInfo info = selfextract::ReadSelfDecryptInfo(reader, path, image_size);
  if (!info.CommandsEnabled) {
    std::cerr << shown << " 不是自解密文件。\n";
    return 1;
  }
  const int64_t offset = selfextract::PayloadOffset(image_size);
  InputFile in(path);
  const bool keyed = selfextract::CarriesKeyedMarker(in, offset, info.PayloadSize);
  std::cout << reader.status << '\n'
            << "程序部分：" << image_size << "字节；附带的文件从第 " << offset << " 字节开始。\n"
            << (keyed ? "附带的是保存密钥的加密文件。\n" : "附带的文件没有保存密钥的加密文件的标识，不能自解密。\n");
  return 0;
}

int SfxCommands::SelfDecrypt() const {
  if (!OwnFileUsable(file_)) return 2;
  const auto key = ReadKey(key_, "解密的密钥: ", false);
  if (!key || key->empty()) {
    std::cerr << "没有解密的密钥: 请用 --key-file 或 --key-env 给出密钥。\n";
    return 1;
  }
  if (CharacterCount(*key) > kMaxKeyCharacters) {
    std::cerr << "密钥太长: 最多 " << kMaxKeyCharacters << " 个字符 (一个换行算两个)。\n";
    return 1;
  }
  Drive drive;
  drive.config.decrypt_key = *key;
  SetOutput(drive.config, target_);
  drive.config.answer = AnswerOf(yes_, no_);
  drive.busy = Operation::SelfDecrypt;
  drive.cancelled_text = "自解密文件已取消。";
  drive.start = [this](WindowLogic& w) {
    if (!ReadOwnFile(w, file_)) return false;
    if (legacy_) w.InfoClickCount = 8;
    w.SelfDecryptClicked();
    return true;
  };
  return drive();
}

int SfxCommands::Separate() const {
  if (!OwnFileUsable(file_)) return 2;
  Drive drive;
  SetOutput(drive.config, target_);
  drive.config.answer = AnswerOf(yes_, no_);
  drive.busy = Operation::Separate;
  drive.cancelled_text = "分离自解密文件已取消。";
  drive.start = [this](WindowLogic& w) {
    if (!ReadOwnFile(w, file_)) return false;
    w.SeparateClicked();
    return true;
  };
  return drive();
}

std::optional<int> DescribeOwnPayload(const std::string& invoked_as) {
  HeaderReader reader;
  const selfextract::SelfDecryptInfo info = selfextract::ReadRunningSelfDecryptInfo(reader);
  if (!info.CommandsEnabled) return std::nullopt;
  std::cout << reader.status << '\n'
            << "这是一个自解密文件。用法:\n"
            << "  " << invoked_as << " self-decrypt [-o 输出文件] [--key-file 密钥文件 | --key-env 变量名]\n"
            << "      解密附带的文件 (保存的扩展名会加上)\n"
            << "  " << invoked_as << " separate [-o 文件.jmz]\n"
            << "      拆成程序部分 " << selfextract::kProgramPartName << " 和附带的 .jmz 文件\n"
            << "  " << invoked_as << " --help\n"
            << "      全部命令\n";
  return 0;
}

}  // namespace vesk::cli
