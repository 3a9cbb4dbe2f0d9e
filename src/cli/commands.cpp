#include "cli/commands.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <iostream>

#include "app/tysjm.h"
#include "threads/queued_ui_thread.h"
#include "threads/worker.h"

namespace vesk::cli {
namespace {

std::atomic<bool> g_interrupted{false};

extern "C" void OnInterrupt(int) { g_interrupted = true; }

// Ctrl-C asks the running command to stop; a second one ends the process.
class InterruptGuard {
 public:
  InterruptGuard() {
    struct sigaction sa {};
    sa.sa_handler = OnInterrupt;
    sa.sa_flags = SA_RESETHAND;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, &old_int_);
    ::sigaction(SIGTERM, &sa, &old_term_);
  }
  ~InterruptGuard() {
    ::sigaction(SIGINT, &old_int_, nullptr);
    ::sigaction(SIGTERM, &old_term_, nullptr);
  }

 private:
  struct sigaction old_int_ {}, old_term_ {};
};

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

int RunCommand(const Options& o) {
  const bool keyless = o.command == Command::kKeylessEncrypt || o.command == Command::kKeylessDecrypt;
  const bool encrypting =
      o.command == Command::kEncrypt || o.command == Command::kCompress || o.command == Command::kKeylessEncrypt;
  PortConfig config;
  config.source = o.source;
  config.target = o.target;
  config.answer = o.answer;
  config.algorithm = o.algorithm;
  config.interactive = ::isatty(STDIN_FILENO) != 0;
  config.progress = ::isatty(STDERR_FILENO) != 0;

  try {
    if (o.command == Command::kEncrypt || o.command == Command::kKeylessEncrypt) {
      auto key = ReadKey(o.key, "加密的密钥: ", true);
      if (!key || key->empty()) {
        std::cerr << "没有加密的密钥: 请用 --key-file 或 --key-env 给出密钥"
                  << (keyless ? "。\n" : " (只压缩请用 compress)。\n");
        return 1;
      }
      config.encrypt_key = *key;
      if (!o.decrypt_key.file.empty() || !o.decrypt_key.env.empty()) {
        config.decrypt_key = ReadKey(o.decrypt_key, "", false).value_or("");
      }
    } else if (o.command == Command::kDecrypt || o.command == Command::kKeylessDecrypt) {
      auto key = ReadKey(o.key, "解密的密钥: ", false);
      if (!key || key->empty()) {
        std::cerr << "没有解密的密钥: 请用 --key-file 或 --key-env 给出密钥"
                  << (keyless ? "。\n" : " (只解压缩请用 decompress)。\n");
        return 1;
      }
      config.decrypt_key = *key;
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

  QueuedUiThread ui;
  CliPort port(config);
  int status = 1;
  {
    Tysjm window(port, ui);
    port.SetTotalSource([&window] { return window.ProgressTotal(); });
    window.MeasureImageSize();  // the program image a self-decrypting file copies
    window.SetCommandState(Control::Button5, true);
    window.SetRatioIndex(o.command == Command::kEncrypt || o.command == Command::kCompress ? o.level : 2);
    if (o.algorithm != Algorithm::kCurrent || o.legacy) window.InfoClickCount = 8;

    InterruptGuard guard;
    g_interrupted = false;
    const Control busy = keyless    ? (encrypting ? Control::KeylessEncryptItem : Control::KeylessDecryptItem)
                         : encrypting ? Control::Button1
                                      : Control::Button2;
    switch (o.command) {
      case Command::kEncrypt:
      case Command::kCompress: window.Button1Click(); break;
      case Command::kDecrypt: window.Button2Click(); break;
      case Command::kDecompress: window.DecompressCommand(o.source, o.target.value_or("")); break;
      case Command::kKeylessEncrypt: window.KeylessEncryptCommand(); break;
      case Command::kKeylessDecrypt: window.KeylessDecryptCommand(); break;
    }
    auto finished = [&] { return window.Tag(busy) == 0 && !window.ZnZip1.Busy() && RunningWorkers() == 0; };
    bool cancelled = false;
    while (!finished()) {
      ui.RunUntil([&] { return finished() || g_interrupted.load(); }, std::chrono::milliseconds(50));
      if (g_interrupted && !cancelled) {
        // The command's own cancel, without its question: clear the run flag,
        // stop a running compression (its end handler deletes the partial
        // file), and let the worker delete its partial output.
        cancelled = true;
        window.StopAll();
        if (busy == Control::KeylessEncryptItem) {
          window.ResetKeylessEncryptItem();
        } else if (busy == Control::KeylessDecryptItem) {
          window.ResetKeylessDecryptItem();
        } else {
          window.SetCommandState(busy, true);
        }
        window.ShowStatus(encrypting ? "加密文件已取消。" : "解密文件已取消。");
      }
    }
    port.FinishProgress();
    if (!cancelled && EndsWith(window.StatusText(), "已完成。")) {
      std::cout << window.OutputPath << '\n';
      status = 0;
    }
  }
  return status;
}

}  // namespace vesk::cli
