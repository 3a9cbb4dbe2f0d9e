// Decides whether a file chosen for encryption is itself a keyed container
// and, if so, whether it may get another layer.
#pragma once

#include <cstdint>
#include <string>

#include "core/prompter.h"
#include "core/run_result.h"

namespace vesk::keyed {

struct ReencryptionResult {
  // Outcome kNone when the file may be encrypted; else the refusal (kRefused)
  // with the text it ends with, for the caller to show.
  RunResult ending;
  uint8_t layer_number = 1;  // the layer the new container gets
  bool damage_warned = false;  // a warning about the container's damage was shown
  bool Refused() const { return ending.outcome != Outcome::kNone; }
};

// `key` is the GBK text of the decryption key box. Throws IoError when the
// file cannot be opened; a damage warning is shown through `prompter`.
ReencryptionResult CheckReencryption(const std::string& path, const std::string& key, Prompter& prompter);

}  // namespace vesk::keyed
