#include "cli/commands.h"

#include <unistd.h>

#include <atomic>
#include <iostream>

#include "app/tysjm.h"
#include "cli/output_name.h"
#include "cli/signals.h"
#include "threads/queued_ui_thread.h"
#include "threads/worker.h"

namespace vesk::cli {
namespace {

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

int RunCommand(const Options& o) {
  WatchSignals();
  const bool keyless = o.command == Command::kKeylessEncrypt || o.command == Command::kKeylessDecrypt;
  const bool encrypting =
      o.command == Command::kEncrypt || o.command == Command::kCompress || o.command == Command::kKeylessEncrypt;
  PortConfig config;
  config.source = o.source;
  config.target = o.target;
  if (o.command == Command::kDecrypt && o.target) {
    // "-o out.txt" for a container of a ".txt" names out.txt, not out.txt.txt.
    config.target = DecryptTargetFor(*o.target, StoredExtensionOf(o.source));
  }
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

    if (o.command == Command::kCompress && o.target && EndsWith(*o.target, ".zak")) window.SaveNameIsFinal = true;
    const Control busy = keyless    ? (encrypting ? Control::KeylessEncryptItem : Control::KeylessDecryptItem)
                         : encrypting ? Control::Button1
                                      : Control::Button2;
    // A signal cancels as the command's cancel does, without its question.
    std::atomic<bool> cancelled{false};
    SetCancelHandler([&](int) {
      port.Interrupt();  // a question being asked is answered No
      ui.Post([&] {
        if (window.CancelCommand(busy)) cancelled = true;
      });
    });
    switch (o.command) {
      case Command::kEncrypt:
      case Command::kCompress: window.Button1Click(); break;
      case Command::kDecrypt: window.Button2Click(); break;
      case Command::kDecompress: window.DecompressCommand(o.source, o.target.value_or("")); break;
      case Command::kKeylessEncrypt: window.KeylessEncryptCommand(); break;
      case Command::kKeylessDecrypt: window.KeylessDecryptCommand(); break;
    }
    auto finished = [&] { return window.Tag(busy) == 0 && !window.ZnZip1.Busy() && RunningWorkers() == 0; };
    while (!finished()) ui.RunUntil(finished, std::chrono::milliseconds(50));
    SetCancelHandler(nullptr);
    port.FinishProgress();
    if (!cancelled && EndsWith(window.StatusText(), "已完成。")) {
      std::cout << window.OutputPath << '\n' << std::flush;
      status = 0;
      if (port.DamageReported()) {
        // Done, but from a damaged container: the result may be short or wrong.
        std::cerr << "已完成，但源文件已被破坏，结果可能不完整或有错误 (退出状态 3)。\n";
        status = 3;
      }
    }
  }
  return status;
}

}  // namespace vesk::cli
