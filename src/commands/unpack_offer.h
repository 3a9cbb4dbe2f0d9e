// What follows a decryption that wrote a tar file: its folder is offered,
// and the folder, once complete, is what the run wrote (the tar file goes).
#pragma once

#include <functional>
#include <string>

#include "core/run_context.h"
#include "core/run_result.h"

namespace vesk::commands {

// Asks whether to unpack (archive::text::kUnpackQuestion with its caption).
using UnpackQuestion = std::function<bool(const std::string& text, const std::string& caption)>;

// `decrypted` unchanged unless it completed with a ".tar" file that is there
// and `ask` says yes; then the unpacking's result, which keeps the damage
// warnings of the decryption. An existing folder is never merged into: the
// unpacking is refused.
RunResult UnpackDecryptedTar(const RunResult& decrypted, const UnpackQuestion& ask, RunContext& context);

}  // namespace vesk::commands
