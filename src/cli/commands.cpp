#include "cli/commands.h"

#include <unistd.h>

#include <atomic>
#include <iostream>
#include <memory>
#include <mutex>

#include "app/window_logic.h"
#include "cli/output_name.h"
#include "cli/signals.h"
#include "cli/texts.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "threads/queued_ui_thread.h"
#include "threads/worker.h"

namespace vesk::cli {
namespace {

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// The folder a tar file is unpacked into: its name without the extension.
std::string UnpackedName(const std::string& source) {
  const std::string stem = ChangeFileExt(source, "");
  return stem == source ? source + ".d" : stem;
}

bool IsEncrypting(Command c) {
  return c == Command::kEncrypt || c == Command::kCompress;
}

// The decompressed file of a ".zak" is named as the decrypt command names
// its output: the source without its extension.
std::string DecompressedName(const std::string& source) {
  const std::string stem = ChangeFileExt(source, "");
  return stem == source ? source + ".out" : stem;
}

// Runs the command on the files one by one, each as if it were given alone,
// with one user-interface thread and the keys read once. A signal cancels the
// file being processed and the files after it.
class Batch {
 public:
  Batch(const Options& o, PortConfig config) : o_(o), config_(std::move(config)) {
    // Nothing else runs in this process: a command need not wait for a
    // stopped operation, and the end of a worker wakes the loop below.
    SetWorkerEndObserver([this] { ui_.Wake(); });
    SetCancelHandler([this](int) {
      stop_ = true;
      {
        std::lock_guard lock(mutex_);
        if (port_ != nullptr) port_->Interrupt();  // a question being asked is answered No
      }
      ui_.Post([this] {
        // The unpacking after a key-less decryption runs as the decryption's last part does.
        if (window_ != nullptr && (window_->CancelCommand(Busy()) || window_->CancelCommand(Control::DecryptButton))) {
          cancelled_ = true;
        }
      });
    });
  }
  ~Batch() {
    SetCancelHandler(nullptr);
    SetWorkerEndObserver(nullptr);
  }
  Batch(const Batch&) = delete;
  Batch& operator=(const Batch&) = delete;

  int Run() {
    bool failed = false, damaged = false;
    for (const std::string& source : o_.sources) {
      if (stop_) {
        failed = true;
        break;
      }
      switch (RunOne(source)) {
        case Outcome::kDone: break;
        case Outcome::kDoneAfterDamage: damaged = true; break;
        case Outcome::kNone:
        case Outcome::kRefused:
        case Outcome::kFailed:
        case Outcome::kCancelled: failed = true; break;
      }
    }
    return failed ? 1 : damaged ? 3 : 0;
  }

 private:
  Control Busy() const {
    const bool encrypting = IsEncrypting(o_.command);
    return encrypting ? Control::EncryptButton : Control::DecryptButton;
  }

  // The answer to the save dialog (or the decompressed file) for `source`;
  // none: the command's own proposal.
  std::optional<std::string> TargetFor(const std::string& source) const {
    if (o_.output_folder) {
      if (o_.command == Command::kDecompress) return *o_.output_folder + ExtractFileName(DecompressedName(source));
      if (o_.command == Command::kUnpack) return *o_.output_folder + ExtractFileName(UnpackedName(source));
      return std::nullopt;  // the port puts the proposal into the folder
    }
    if (o_.command == Command::kDecompress) return o_.target ? *o_.target : DecompressedName(source);
    if (o_.command == Command::kUnpack) return o_.target ? *o_.target : UnpackedName(source);
    // "-o out.txt" for a container of a ".txt" names out.txt, not out.txt.txt;
    // an age file stores no name, and "-o" names its output.
    if (o_.command == Command::kDecrypt && o_.target && !IsAgeFile(source)) {
      return DecryptTargetFor(*o_.target, StoredExtensionOf(source));
    }
    return o_.target;
  }

  Outcome RunOne(const std::string& source) {
    const Outcome outcome = RunFile(source);
    // Among several files, say which one did not come through.
    if (o_.sources.size() > 1 && (outcome == Outcome::kFailed || outcome == Outcome::kCancelled)) {
      std::cerr << text::NotCompleted(source) << '\n';
    }
    return outcome;
  }

  Outcome RunFile(const std::string& source) {
    // The window's open dialog gives only existing files; its encrypt
    // command has no words for a missing one.
    if ((o_.command == Command::kEncrypt || o_.command == Command::kCompress) && !FileExists(source) &&
        !DirectoryExists(source)) {
      std::cerr << text::EncryptSourceMissing(source) << '\n';
      return Outcome::kFailed;
    }
    PortConfig config = config_;
    config.source = source;
    config.target = TargetFor(source);
    config.output_folder = o_.output_folder;
    cancelled_ = false;
    CliPort port(config);
    WindowLogic window(port, ui_);
    window.SetYieldPause(std::chrono::milliseconds(0));
    port.SetTotalSource([&window] { return window.BarWork(); });
    port.ArmTestHold(ui_, window.Flags());
    window.MeasureImageSize();  // the program image a self-decrypting file copies
    PrepareAgeWindow(o_.age, window);
    window.SetCommandState(Operation::MenuCommand, true);
    window.SetRatioIndex(o_.command == Command::kEncrypt || o_.command == Command::kCompress ? o_.level : 2);
    if (o_.algorithm != Algorithm::kCurrent || o_.legacy) window.InfoClickCount = 8;
    if (o_.command == Command::kCompress && (o_.output_folder || (o_.target && EndsWith(*o_.target, ".zak")))) {
      window.SaveNameIsFinal = true;
    }
    {
      std::lock_guard lock(mutex_);
      port_ = &port;
    }
    window_ = &window;
    const bool started = !stop_;
    if (started) {
      switch (o_.command) {
        case Command::kEncrypt:
        case Command::kCompress: window.EncryptClicked(); break;
        case Command::kDecrypt: window.DecryptClicked(); break;
        case Command::kDecompress: window.DecompressCommand(source, config.target.value_or("")); break;
        case Command::kUnpack: window.UnpackCommand(source, config.target.value_or("")); break;
      }
      const Control busy = Busy();
      // Woken by the queued calls, by the end of every worker and by a signal.
      ui_.RunUntil([&] {
        return window.Tag(busy) == 0 && !window.Compression.Busy() && RunningWorkers() == 0 &&
               !window.FollowUpPending();
      });
    }
    ui_.ProcessPending();  // a cancel queued as the run ended finds it idle
    window_ = nullptr;
    {
      std::lock_guard lock(mutex_);
      port_ = nullptr;
    }
    port.FinishProgress();
    // A signal that came as the run ended leaves its outcome as it is.
    if (cancelled_ || !started) return Outcome::kCancelled;
    const RunResult result = window.Result();
    if (!result.Completed()) return Outcome::kFailed;
    std::cout << window.OutputPath << '\n' << std::flush;
    if (result.outcome == Outcome::kDoneAfterDamage) {
      // Done, but from a damaged source: the result may be short or wrong.
      std::cerr << window.OutputPath << ": 已完成，但源文件已被破坏，结果可能不完整或有错误 (退出状态 3)。\n";
      return Outcome::kDoneAfterDamage;
    }
    return Outcome::kDone;
  }

  const Options& o_;
  const PortConfig config_;
  QueuedUiThread ui_;
  std::atomic<bool> stop_{false};
  bool cancelled_ = false;       // user-interface thread
  WindowLogic* window_ = nullptr;      // user-interface thread
  std::mutex mutex_;
  CliPort* port_ = nullptr;      // guarded by mutex_
};

}  // namespace

std::optional<std::string> OutputFolderOf(const Options& o) {
  return o.target ? ExistingFolderOf(*o.target) : std::nullopt;
}

int RunCommand(const Options& o) {
  WatchSignals();
  PortConfig config;
  config.answer = o.answer;
  config.algorithm = o.algorithm;
  config.interactive = ::isatty(STDIN_FILENO) != 0;
  config.progress = ::isatty(STDERR_FILENO) != 0;
  config.unpack = o.unpack;

  Options options = o;  // the age recipients are read into it
  try {
    if (o.command == Command::kEncrypt && o.age.chosen()) {
      if (const auto status = ReadAgeEncryptKeys(options.age, o.key, config)) return *status;
    } else if (o.command == Command::kDecrypt) {
      if (const auto status = ReadDecryptKeys(o.key, o.sources, config)) return *status;
    } else if (o.command == Command::kEncrypt) {
      auto key = ReadKey(o.key, "加密的密钥: ", true);
      if (!key || key->empty()) {
        std::cerr << "没有加密的密钥: 请用 --key-file 或 --key-env 给出密钥 (只压缩请用 compress)。\n";
        return 1;
      }
      config.encrypt_key = *key;
      if (!o.decrypt_key.file.empty() || !o.decrypt_key.env.empty()) {
        config.decrypt_key = ReadKey(o.decrypt_key, "", false).value_or("");
      }
    } else if (o.command == Command::kCompress && (!o.decrypt_key.file.empty() || !o.decrypt_key.env.empty())) {
      // Compressing a keyed container checks it with its decryption key.
      config.decrypt_key = ReadKey(o.decrypt_key, "", false).value_or("");
    }
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
    return 1;
  }
  for (const std::string* key : {&config.encrypt_key, &config.decrypt_key}) {
    if (CharacterCount(*key) > kMaxKeyCharacters) {
      std::cerr << "密钥太长: 最多 " << kMaxKeyCharacters << " 个字符 (一个换行算两个)。\n";
      return 1;
    }
  }
  return Batch(options, std::move(config)).Run();
}

}  // namespace vesk::cli
