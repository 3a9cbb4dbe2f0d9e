// The key-less engines: a plain file into a key-less container and back.
// Each runs from start to end on a worker thread, shows its progress and asks
// its questions through the run's context, polls the context's stop token
// once per stretch of payload and returns how the run ended. A partial
// target never survives a failure or a cancel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/run_context.h"
#include "core/run_result.h"
#include "crypto/keyless/format.h"
#include "crypto/keyless/random_source.h"
#include "crypto/keyless/texts.h"
#include "platform/fault_hooks.h"

namespace vesk::keyless {

// What the key-less commands hand to their engine when they start it.
struct KeylessJob {
  std::string key;          // GBK bytes of the key box (EncryptionKey / DecryptionKey), CR LF between lines
  std::string source_path;  // plain file (encryption) or container (decryption)
  std::string target_path;  // container (encryption) or output file (decryption)
  uint8_t info_click_count = 0;  // encryption: above 7 the older algorithms are offered
  // Encryption: the version to write without asking; unset, it is chosen as
  // `info_click_count` says.
  std::optional<Version> version;
  // How the finished output takes the target's place. True: the user agreed
  // to replace the file that stood there. False: nothing stood there when the
  // command looked, and a file that has appeared since is kept (the run ends
  // as a failed replace). Unset: decided by whether anything is at the
  // target when the engine starts.
  std::optional<bool> replace_target;
  // Tests: faults on the source and the target (fault_hooks.h).
  FaultHooks faults{};
};

// Bytes streamed per read and write.
inline constexpr std::size_t kStreamBufferSize = std::size_t{1} << 20;

RunResult EncryptKeyless(const KeylessJob& job, RunContext& context, RandomSource& random);
inline RunResult EncryptKeyless(const KeylessJob& job, RunContext& context) {
  return EncryptKeyless(job, context, DefaultRandom());
}
RunResult DecryptKeyless(const KeylessJob& job, RunContext& context);

}  // namespace vesk::keyless
