// Turns one file into a keyed container. The engine runs on a worker thread,
// shows only its progress and the algorithm questions, looks at the run's
// stop token between buffers, and returns how the run ended with the text it
// ends with; the caller shows the command idle and the ending.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/run_context.h"
#include "core/run_result.h"
#include "crypto/keyed/random_source.h"
#include "platform/fault_hooks.h"

namespace vesk::keyed {

struct EncryptJob {
  std::string key;            // GBK bytes of the key box, CR LF between lines
  std::string source_path;    // the chosen file, or its temporary ".zak" copy
  std::string target_path;    // the container to write
  std::string original_ext;   // GBK bytes of the chosen file's extension, with its dot
  uint8_t pre_zip_level = 0;  // 0 = the source is the chosen file itself
  uint8_t layer_number = 1;
  uint8_t info_click_count = 0;  // above 7 the older ciphers are offered
  // How the finished container takes the target's place. True: the user
  // agreed to replace the file that stood there. False: nothing stood there
  // when the command looked, and a file that has appeared since is kept (the
  // run ends as a failed replace). Unset: decided by whether anything is at
  // the target when the engine starts.
  std::optional<bool> replace_target;
  // The permission bits of the container: those of the file it is made
  // from, so that a private file gives a private container (its key can be
  // recovered from it). Unset: the bits of the file at `source_path`.
  std::optional<mode_t> target_mode;
  // Tests: faults on the source and the container (fault_hooks.h).
  FaultHooks faults{};
};

// Done (its status text in `reason`), refused before anything was written,
// failed, or cancelled (the run's stop was requested); the temporary
// compressed copy is deleted in every case.
RunResult EncryptEngine(const EncryptJob& job, RunContext& context, RandomSource& random);

}  // namespace vesk::keyed
