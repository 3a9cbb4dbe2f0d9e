#include "cli/payload_commands.h"

#include <unistd.h>

#include <atomic>
#include <functional>
#include <iostream>
#include <mutex>
#include <utility>

#include "cli/cli_port.h"
#include "cli/output_name.h"
#include "cli/signals.h"
#include "compress/compressor.h"
#include "compress/run_failure.h"
#include "crypto/keyed/decrypt_engine.h"
#include "platform/file_io.h"
#include "platform/gbk.h"
#include "platform/paths.h"
#include "platform/staged_file.h"
#include "selfextract/elf_image.h"
#include "selfextract/layout.h"
#include "selfextract/sfx_engine.h"
#include "threads/queued_ui_thread.h"
#include "threads/worker.h"

namespace vesk::cli {
namespace {

std::atomic<bool> g_interrupted{false};

constexpr char kSelfDecryptCancelled[] = "自解密文件已取消。";

// A reporter for reading a file's payload header without running a command:
// damage reports go to standard error, the status text is kept.
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

// The self-decrypting file being read and what its payload header says.
struct OwnFile {
  std::string path;    // the file read (the running program's process entry for itself)
  std::string folder;  // where outputs are proposed, with its final "/"
  selfextract::SelfDecryptInfo info;
};

// One run of a command on a terminal: the reporter the engines talk to, the
// decryption host, and the decompression that follows a compressed payload.
// Messages, questions and the progress line go through the command line's
// port, as for every other command.
class PayloadRun final : public Reporter, public keyed::DecryptHost {
 public:
  PayloadRun(CliPort& port, QueuedUiThread& ui, std::string key)
      : port_(port), ui_(ui), key_(std::move(key)), compression_(ui) {
    compression_.OnBegin = [this](int64_t max) { DecompressionBegan(max); };
    compression_.OnCheck = [this](int64_t checked, int64_t size) { DecompressionChecked(checked, size); };
    compression_.OnProcess = [this](int64_t done) { SetBarPosition(BarPositionFor(done)); };
    compression_.OnEnd = [this](bool normal, float) { DecompressionEnded(normal, ""); };
  }
  ~PayloadRun() override { WipeKey(); }

  // ---- Reporter ------------------------------------------------------------
  void ReportMessage(const std::string& text) override {
    port_.MessageBox(text, "Vesk 文件加密");
    ShowStatus(text);
  }
  void ReportStoppedByFailure(const std::string& text) override {
    // A run the user cancelled reports its stop as a failure; the cancel has
    // said what happened.
    if (cancelled_) return;
    Reporter::ReportStoppedByFailure(text);
  }
  void ShowStatus(const std::string& text) override {
    {
      std::lock_guard lock(mutex_);
      status_ = text;
    }
    port_.SetStatusText(text);
  }
  bool AskYesNo(const std::string& text, const std::string& caption) override { return port_.Question(text, caption); }
  void SetCommandState(Operation, bool enabled) override { busy_ = !enabled; }

  // ---- DecryptHost ---------------------------------------------------------
  std::string DecryptionKey() override { return key_; }
  void SetHint(Hint, const std::string&) override {}
  void OutputChosen(const std::string&) override {}
  void DecompressionFollows(int64_t compressed) override {
    // The deciphering reads the payload once; the decompression reads the
    // compressed copy twice, to check it and to write it out.
    PlanStages({compressed, compressed, compressed});
  }
  bool StartDecompression(const std::string& source, const std::string& dest, bool delete_source) override;

  // The command's run has ended: nothing busy, decompressing or working.
  bool Finished() const { return !busy_ && !compression_.Busy() && RunningWorkers() == 0; }
  // The user's cancel (a signal): every run flag cleared, a decompression
  // stopped (its end handler deletes what it wrote), the command idle.
  void Cancel() {
    cancelled_ = true;
    StopAll();
    busy_ = false;
  }
  std::string StatusText() const {
    std::lock_guard lock(mutex_);
    return status_;
  }
  // The program file the decryption reads; the decompressed output takes
  // its permission bits without execute.
  std::string own_path;

 protected:
  void OnBarRange(int64_t max) override { port_.SetBarRange(max); }
  void OnBarPosition(int64_t position) override { port_.SetBarPosition(position); }
  void StopCompression() override {
    if (!compression_.Busy()) return;
    zip_.cancelled = true;
    compression_.Stop();
  }

 private:
  struct ZipRun {
    std::string target;
    mode_t mode = 0600;
    bool replace = false;
    bool delete_source = false;
    bool began = false;
    bool cancelled = false;
    std::size_t check_stage = 0, write_stage = 0;
  };

  void DecompressionBegan(int64_t max) {
    zip_.began = true;
    BeginStage(zip_.write_stage);
    SetProgressTotal(max);
    SetBarRange(BarMaxFor(max));
  }
  void DecompressionChecked(int64_t checked, int64_t size) {
    if (!Staged()) return;
    if (CurrentStage() != zip_.check_stage) BeginStage(zip_.check_stage);
    SetBarRange(size);
    SetBarPosition(checked);
  }
  void DecompressionEnded(bool normal, std::string failure);
  void WipeKey() {
    volatile char* bytes = key_.data();
    for (std::size_t i = 0; i < key_.size(); ++i) bytes[i] = 0;
  }

  CliPort& port_;
  QueuedUiThread& ui_;
  std::string key_;  // GBK bytes, as the key box holds them
  Compressor compression_;
  ZipRun zip_;
  std::atomic<bool> busy_{false};
  std::atomic<bool> cancelled_{false};
  mutable std::mutex mutex_;
  std::string status_;
};

bool PayloadRun::StartDecompression(const std::string& source, const std::string& dest, bool delete_source) {
  bool started = false;
  ui_.Synchronize([&] {
    zip_ = ZipRun{};
    Flags().KeepRunning = false;
    if (!Flags().KeepDecrypting) {
      // Cancelled while the file was handed over: the cancel has reported.
      if (delete_source) DeleteIfExists(source);
      started = true;
      return;
    }
    if (SameFile(dest, source) || SameFile(dest, own_path)) return;
    zip_.target = dest;
    zip_.delete_source = delete_source;
    if (!Staged()) {
      const int64_t size = FileSizeOf(source);
      PlanStages({size, size});
    }
    zip_.check_stage = StageCount() - 2;
    zip_.write_stage = StageCount() - 1;
    // As private as the self-decrypting file, whose execute bits are no part of that.
    zip_.mode = PermissionsOf(own_path) & 0666;
    // The engine has asked before naming an existing file.
    zip_.replace = PathExists(dest);
    compression_.SourceFile = source;
    compression_.DestFile.clear();
    ShowStatus("进行解压缩文件...");
    started = true;
    const std::string folder = FolderOf(dest);
    try {
      compression_.DestFile = CreateUniqueFile(folder, ".vesk-", ".part");
    } catch (const IoError&) {
      return DecompressionEnded(false, FolderFailure(folder));
    }
    compression_.Decompress();
    if (!compression_.Busy()) DecompressionEnded(false, "无法读取文件“" + source + "”。");
  });
  return started;
}

void PayloadRun::DecompressionEnded(bool normal, std::string failure) {
  const ZipRun run = std::exchange(zip_, ZipRun{});
  const std::string written = compression_.DestFile;
  if (!normal && failure.empty() && !run.cancelled) {
    failure = RunFailure(compression_.SourceFile, written, true, run.began);
  }
  bool complete = normal && failure.empty() && !run.cancelled;
  if (complete) {
    try {
      CommitStagedFile(written, run.target, run.mode, run.replace);
    } catch (const TargetExistsError&) {
      failure = "文件“" + run.target + "”已经存在。";
      complete = false;
    } catch (const std::exception&) {
      failure = FolderFailure(FolderOf(run.target));
      complete = false;
    }
  }
  if (!complete && !written.empty()) DeleteIfExists(written);
  // The deciphered copy is this run's own temporary file: gone before
  // anything is shown.
  if (run.delete_source) DeleteIfExists(compression_.SourceFile);
  Flags().KeepRunning = false;
  Flags().KeepDecrypting = false;
  const std::string stage = StatusText();
  busy_ = false;
  if (complete) {
    Complete({run.target});
    ShowStatus(run.delete_source ? std::string("解密文件 ... 已完成。") : stage + " 已完成。");
  } else if (run.cancelled) {
    EndRun(Outcome::kCancelled, stage);
  } else {
    const std::string message = stage + "不能完成！已经取消。" + failure;
    EndRun(Outcome::kFailed, message);
    ReportMessage(message);
  }
}

// One command driven to its end on the terminal. `start` reads the file and
// starts the command's worker (false: it refused before that, having said
// why). The run's result decides the exit status and names the files
// written; the first signal cancels the run, which deletes what it wrote.
int Drive(const PortConfig& config, std::string key, const std::string& cancelled_text,
          const std::function<bool(PayloadRun&)>& start) {
  PortConfig terminal = config;
  terminal.interactive = ::isatty(STDIN_FILENO) != 0;
  terminal.progress = ::isatty(STDERR_FILENO) != 0;
  QueuedUiThread ui;
  CliPort port(terminal);
  PayloadRun run(port, ui, std::move(key));
  port.SetTotalSource([&run] { return run.BarWork(); });
  port.ArmTestHold(ui, run.Flags());
  CancelOnSignal guard(g_interrupted);
  if (!start(run)) return 1;
  bool cancelled = false;
  while (!run.Finished()) {
    ui.RunUntil([&] { return run.Finished() || g_interrupted.load(); }, std::chrono::milliseconds(50));
    if (g_interrupted && !cancelled && !run.Finished()) {
      cancelled = true;
      run.Cancel();
    }
  }
  // A run that had passed its last check before the cancel came stands.
  const RunResult result = run.Result();
  if (cancelled && !result.Completed() && run.StatusText() != cancelled_text) run.ShowStatus(cancelled_text);
  port.FinishProgress();
  if (!result.Completed()) return 1;
  for (const std::string& path : result.written) std::cout << path << '\n';
  return result.outcome == Outcome::kDoneAfterDamage ? 3 : 0;
}

// Reads the payload header of `file` (the running program when empty),
// reporting damage through `r`; nullopt, having said why, when the file
// carries no payload.
std::optional<OwnFile> ReadOwnFile(Reporter& r, const std::string& file, const std::string& self) {
  if (!file.empty() && !FileExists(file)) {
    std::cerr << "文件“" << file << "”不存在!\n";
    return std::nullopt;
  }
  OwnFile own;
  if (file.empty()) {
    own.path = selfextract::kRunningProgramFile;
    own.info = selfextract::ReadRunningSelfDecryptInfo(r);
    try {
      own.folder = ExtractFilePath(selfextract::RunningProgramPath());
    } catch (...) {
      own.folder.clear();
    }
  } else {
    own.path = file;
    own.folder = ExtractFilePath(file);
    int64_t image_size = 0;
    try {
      image_size = selfextract::ImageSizeOf(file);
    } catch (...) {
      image_size = 0;  // the reading then fails
    }
    own.info = selfextract::ReadSelfDecryptInfo(r, file, image_size);
  }
  if (r.OwnFileSize() < selfextract::SelfDecryptMinimum(r.ImageSize())) {
    std::cerr << (file.empty() ? self : file) << " 不是自解密文件。\n";
    return std::nullopt;
  }
  if (own.info.PayloadName.empty()) own.info.PayloadName = selfextract::kUnnamedPayload;
  return own;
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

// The output for the name the command proposes: "-o" answers as for every
// other command.
std::string ChosenOutput(const PortConfig& config, const std::string& proposal) {
  if (config.target) return *config.target;
  if (config.output_folder) return *config.output_folder + ExtractFileName(proposal);
  return proposal;
}

}  // namespace

PayloadCommands::PayloadCommands(CLI::App& app, std::string self, bool any_file)
    : self_(std::move(self)), any_file_(any_file) {
  auto add_answers = [this](CLI::App* sub) {
    auto* yes = sub->add_flag("--yes", yes_, "所有问题回答“是” (例如替换已有文件)");
    sub->add_flag("--no", no_, "所有问题回答“否”")->excludes(yes);
  };
  auto add_file = [this](CLI::App* sub) {
    if (any_file_) sub->add_option("FILE", file_, "自解密文件 (省略时是正在运行的程序本身)");
  };

  info_ = app.add_subcommand("sfx-info", any_file_ ? "显示自解密文件附带的文件 (不运行它)" : "显示本文件附带的文件");
  add_file(info_);

  decrypt_ = app.add_subcommand("self-decrypt", any_file_ ? "解密自解密文件附带的文件 (不运行它)" : "解密本文件附带的文件");
  add_file(decrypt_);
  decrypt_->add_option("-o,--output", target_, "输出文件, 不含扩展名 (保存的扩展名会加上)，或者已有的文件夹");
  auto* file = decrypt_->add_option("--key-file", key_.file, "解密的密钥：从文件读取 (UTF-8)");
  decrypt_->add_option("--key-env", key_.env, "解密的密钥：从环境变量读取")->excludes(file);
  decrypt_->add_flag("--legacy", legacy_, "接受最旧的加密算法");
  add_answers(decrypt_);

  separate_ = app.add_subcommand("separate", any_file_ ? "把自解密文件拆成程序部分和 .jmz 文件 (不运行它)"
                                                       : "把本文件拆成程序部分和 .jmz 文件");
  add_file(separate_);
  separate_->add_option("-o,--output", target_, "附带的加密文件保存为 (扩展名总是 .jmz) 或者已有的文件夹; 程序部分写在同一文件夹");
  add_answers(separate_);
}

bool PayloadCommands::Parsed() const { return info_->parsed() || decrypt_->parsed() || separate_->parsed(); }

int PayloadCommands::Run() const {
  try {
    if (info_->parsed()) return Info();
    if (decrypt_->parsed()) return SelfDecrypt();
    if (separate_->parsed()) return Separate();
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
    return 1;
  }
  return 2;
}

bool PayloadCommands::OwnFileUsable() const {
  if (!file_.empty()) return true;
  HeaderReader reader;
  reader.quiet = true;
  if (selfextract::ReadRunningSelfDecryptInfo(reader).CommandsEnabled) return true;
  if (any_file_) {
    std::cerr << "请给出自解密文件 FILE (" << self_ << " 本身不是自解密文件)。\n";
  } else {
    std::cerr << self_ << " 本身不是自解密文件：它是自解密文件的程序部分，不附带加密文件。\n";
  }
  return false;
}

int PayloadCommands::Info() const {
  if (!OwnFileUsable()) return 2;
  const std::string path = file_.empty() ? std::string(selfextract::kRunningProgramFile) : file_;
  const std::string shown = file_.empty() ? self_ : file_;
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

int PayloadCommands::SelfDecrypt() const {
  if (!OwnFileUsable()) return 2;
  const auto key = ReadKey(key_, "解密的密钥: ", false);
  if (!key || key->empty()) {
    std::cerr << "没有解密的密钥: 请用 --key-file 或 --key-env 给出密钥。\n";
    return 1;
  }
  if (CharacterCount(*key) > kMaxKeyCharacters) {
    std::cerr << "密钥太长: 最多 " << kMaxKeyCharacters << " 个字符 (一个换行算两个)。\n";
    return 1;
  }
  PortConfig config;
  SetOutput(config, target_);
  config.answer = AnswerOf(yes_, no_);
  // A key GBK cannot hold matches no container: it is tried as empty.
  std::string key_bytes = Utf8ToGbkStrict(*key).value_or("");
  keyed::DecryptJob job;
  return Drive(config, std::move(key_bytes), kSelfDecryptCancelled, [&](PayloadRun& run) {
    const std::optional<OwnFile> own = ReadOwnFile(run, file_, self_);
    if (!own) return false;
    run.own_path = own->path;
    run.BeginRun();
    if (own->info.Damaged) run.NoteDamage();
    const std::string& name = own->info.PayloadName;
    run.ShowStatus(selfextract::PayloadStatusText(name, own->info.PayloadSize));
    job.command = Operation::SelfDecrypt;
    job.source_path = own->path;
    job.target_path = ChosenOutput(config, ChangeFileExt(own->folder + selfextract::SafePayloadName(name), ""));
    job.info_click_count = legacy_ ? 8 : 0;
    job.self_decrypt = true;
    job.container_start = selfextract::PayloadOffset(run.ImageSize());
    job.payload_size = own->info.PayloadSize;
    job.payload_name = selfextract::ShownPayloadName(name);
    run.SetBarPosition(0);
    run.SetCommandState(Operation::SelfDecrypt, false);
    run.Flags().KeepDecrypting = true;
    try {
      StartWorker([&run, &job] { keyed::DecryptEmbedded(job, run, run); });
    } catch (...) {
      run.Flags().KeepDecrypting = false;
      run.SetCommandState(Operation::SelfDecrypt, true);
      return false;
    }
    return true;
  });
}

int PayloadCommands::Separate() const {
  if (!OwnFileUsable()) return 2;
  PortConfig config;
  SetOutput(config, target_);
  config.answer = AnswerOf(yes_, no_);
  selfextract::SeparateJob job;
  InputFile program;
  return Drive(config, {}, selfextract::text::kSeparateCancelled, [&](PayloadRun& run) {
    const std::optional<OwnFile> own = ReadOwnFile(run, file_, self_);
    if (!own) return false;
    run.BeginRun();
    if (own->info.Damaged) run.NoteDamage();
    const std::string& name = own->info.PayloadName;
    run.ShowStatus(selfextract::PayloadStatusText(name, own->info.PayloadSize));
    const std::string chosen = ChosenOutput(config, own->folder + selfextract::SafePayloadName(name));
    selfextract::SeparatePlan plan =
        selfextract::PlanSeparate(own->path, run.ImageSize(), own->info.PayloadSize, chosen, run);
    if (!plan.go) return true;  // declined or refused: said, and nothing runs
    job = std::move(plan.job);
    auto& keep = run.Flags().KeepSeparating;
    keep = true;
    run.SetCommandState(Operation::Separate, false);
    run.ShowStatus(selfextract::text::SeparateRunning(selfextract::ShownPayloadName(name)));
    run.SetBarPosition(0);
    try {
      selfextract::BeginSeparate(job, own->path, run.ImageSize(), program);
      StartWorker([&run, &job, &program] { selfextract::SeparatePayload(job, program, run); });
    } catch (...) {
      keep = false;
      run.SetCommandState(Operation::Separate, true);
      run.ReportMessage(selfextract::text::kSeparateFailed);
    }
    return true;
  });
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
