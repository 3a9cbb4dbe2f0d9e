// Turns a keyed container back into the file it was made from (one layer),
// or hands a file without a container marker to decompression.
//
// DecryptFile runs on a worker thread, shows its progress, warnings and
// questions through its run context, looks at the run's stop token between
// buffers, and returns how the run ended with the text it ends with; the
// caller shows the command idle and the ending. A run handed over to
// decompression has not ended: its result says so (HandedOver), and the
// decompression ends it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/reporting.h"
#include "core/run_context.h"
#include "core/run_result.h"
#include "platform/fault_hooks.h"

namespace vesk::keyed {

// What the engine asks of the window besides its run context.
class DecryptHost {
 public:
  virtual ~DecryptHost() = default;
  // GBK bytes of the decryption key box, read at the start of every attempt.
  virtual std::string DecryptionKey() = 0;
  virtual void SetHint(Hint h, const std::string& text) = 0;
  // The path the run will write its final output to.
  virtual void OutputChosen(const std::string& path) = 0;
  // Starts decompressing `source` into `dest`, the stage that ends the run
  // from there on (the end of the decompression starts no encryption);
  // `delete_zak_after` marks
  // `source` as a temporary file for the end handler. False when no
  // decompression could be started.
  virtual bool StartDecompression(const std::string& source, const std::string& dest, bool delete_zak_after) = 0;
  // The payload of `compressed` bytes is compressed: once deciphered, it is
  // decompressed. Called before the deciphering reports its progress.
  virtual void DecompressionFollows(int64_t /*compressed*/) {}
  // How the decompression the host ran to its end within StartDecompression
  // ended; nothing when it runs on (the window's) or none ran.
  virtual std::optional<RunResult> DecompressionResult() { return std::nullopt; }
  // The source was warned about as damaged; called before a hand-over, so
  // that a decompression that completes the run completes it as after damage.
  virtual void SourceDamaged() {}
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
  // Tests: faults on the container and the output, or the temporary ".zak"
  // (fault_hooks.h).
  FaultHooks faults{};
};

// File mode: checks and opens `job.source_path`, then decrypts it. Files of
// 1 to kMaxContainerSize bytes are taken. Besides the usual endings: a
// question answered No ends the run as cancelled (the stop not requested),
// and a source that could not be read fails with Reason::kNoSource.
RunResult DecryptFile(const DecryptJob& job, RunContext& context, DecryptHost& host);

// True when the run goes on in the decompression the host started.
inline bool HandedOver(const RunResult& result) { return result.outcome == Outcome::kNone; }

// Self-decrypt mode entry (`job.source_path` is the program's own file) as a
// run of its own: progress, questions and the ending go to `context`, its
// stop token stops the run, and the result is the run's, or
// the decompression's when the host ran one to its end (after damage when
// the source was warned about).
RunResult DecryptEmbedded(const DecryptJob& job, RunContext& context, DecryptHost& host);

// The output path for `target_path` and the stored extension `ext_gbk`:
// name and extension take at most 215 GBK bytes (else they are cut to 213,
// at a character boundary), and the file name fits 255 native bytes.
std::string OutputPathFor(const std::string& target_path, const std::string& ext_gbk);

}  // namespace vesk::keyed
