// What the keyed decryption asks of its host in a command's run: the key,
// the hints, and the decompression of a compressed payload (or of a file
// without the container's marker), run to its end on the same thread.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <utility>

#include "compress/decompress_file.h"
#include "core/run_context.h"
#include "core/secret_text.h"
#include "crypto/keyed/decrypt_engine.h"
#include "platform/file_io.h"
#include "platform/staged_file.h"

namespace vesk::commands {

class DecompressingHost final : public keyed::DecryptHost {
 public:
  // The decompressed file is as private as `private_as` (its bits within
  // `mode_mask`); `private_as` is never an output.
  DecompressingHost(RunContext& context, std::string key_gbk, std::string private_as, mode_t mode_mask = 07777)
      : context_(context), key_(std::move(key_gbk)), private_as_(std::move(private_as)), mode_mask_(mode_mask) {}

  std::string DecryptionKey() override { return key_.str(); }
  void SetHint(Hint which, const std::string& text) override { context_.progress.ShowHint(which, text); }
  void OutputChosen(const std::string&) override {}
  void DecompressionFollows(int64_t compressed) override {
    // The deciphering reads the payload once; the decompression reads the
    // compressed copy twice, to check it and to write it out.
    context_.progress.PlanStages({compressed, compressed, compressed});
  }
  bool StartDecompression(const std::string& source, const std::string& dest, bool delete_source) override {
    if (SameFile(dest, source) || SameFile(dest, private_as_)) return false;
    if (!context_.progress.Staged()) {
      const int64_t size = FileSizeOf(source);
      context_.progress.PlanStages({size, size});
    }
    compress::DecompressJob job;
    job.source = source;
    job.target = dest;
    job.mode = PermissionsOf(private_as_) & mode_mask_;
    // The engine has asked before naming an existing file.
    job.replace = PathExists(dest);
    job.delete_source = delete_source;
    result_ = compress::DecompressFile(job, context_);
    return true;
  }
  std::optional<RunResult> DecompressionResult() override { return result_; }
  void SourceDamaged() override { damaged_ = true; }

  bool Damaged() const { return damaged_; }

 private:
  RunContext& context_;
  SecretText key_;  // GBK bytes
  std::string private_as_;
  mode_t mode_mask_;
  std::optional<RunResult> result_;
  bool damaged_ = false;
};

}  // namespace vesk::commands
