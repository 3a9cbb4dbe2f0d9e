// Turns a keyed container back into the file it was made from (one layer),
// or hands a file without a container marker to decompression.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/reporting.h"
#include "core/run_context.h"
#include "core/stop.h"
#include "platform/fault_hooks.h"

namespace vesk::keyed {

// What the engine asks of the window besides the reporting interface.
class DecryptHost {
 public:
  virtual ~DecryptHost() = default;
  // GBK bytes of the decryption key box, read at the start of every attempt.
  virtual std::string DecryptionKey() = 0;
  virtual void SetHint(Hint h, const std::string& text) = 0;
  // The path the run will write its final output to.
  virtual void OutputChosen(const std::string& path) = 0;
  // Starts decompressing `source` into `dest` (clearing KeepRunning so that the
  // end of the decompression starts no encryption); `delete_zak_after` marks
  // `source` as a temporary file for the end handler. False when no
  // decompression could be started.
  virtual bool StartDecompression(const std::string& source, const std::string& dest, bool delete_zak_after) = 0;
  // The payload of `compressed` bytes is compressed: once deciphered, it is
  // decompressed. Called before the deciphering reports its progress.
  virtual void DecompressionFollows(int64_t /*compressed*/) {}
  // How the decompression the host ran to its end within StartDecompression
  // ended; nothing when it runs on (the window's) or none ran.
  virtual std::optional<RunResult> DecompressionResult() { return std::nullopt; }
};

struct DecryptJob {
  Operation command = Operation::Decrypt;  // SelfDecrypt in self-decrypt mode
  std::string source_path;             // the chosen container (UTF-8)
  std::string original_ext;            // its extension with the dot (UTF-8)
  std::string target_path;             // output path as chosen, without the stored extension
  uint8_t info_click_count = 0;        // above 7 the oldest cipher is accepted
  // Self-decrypt mode: the container lies inside `source_path` from
  // `container_start` to its end; `payload_size` and `payload_name` (as
  // messages show it) describe it.
  bool self_decrypt = false;
  int64_t container_start = 0;
  int64_t payload_size = 0;
  std::string payload_name;
  // Stops the run besides the reporter's run flag.
  StopToken stop;
  // Tests: faults on the container and the output, or the temporary ".zak"
  // (fault_hooks.h).
  FaultHooks faults{};
};

// File mode: checks and opens `job.source_path`, then decrypts it. Files of
// 1 to kMaxContainerSize bytes are taken.
void DecryptFile(const DecryptJob& job, Reporter& reporter, DecryptHost& host);

// Self-decrypt mode entry: `job.source_path` is the program's own file.
void DecryptEmbedded(const DecryptJob& job, Reporter& reporter, DecryptHost& host);
// The same as a run of its own: progress and questions go to `context`, its
// stop token stops the run (it replaces `job.stop`), and the result is the
// run's, or the decompression's when the host ran one to its end.
RunResult DecryptEmbedded(const DecryptJob& job, RunContext& context, DecryptHost& host);

// The output path for `target_path` and the stored extension `ext_gbk`:
// name and extension take at most 215 GBK bytes (else they are cut to 213,
// at a character boundary), and the file name fits 255 native bytes.
std::string OutputPathFor(const std::string& target_path, const std::string& ext_gbk);

}  // namespace vesk::keyed
