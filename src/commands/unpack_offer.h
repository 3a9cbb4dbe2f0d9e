// What follows a decryption that wrote a tar file: its folder is offered,
// and the folder, once complete, is what the run wrote (the tar file goes).
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "core/run_context.h"
#include "core/run_result.h"

namespace vesk::commands {

// Asks whether to unpack (archive::text::kUnpackQuestion with its caption).
using UnpackQuestion = std::function<bool(const std::string& text, const std::string& caption)>;

// The offer as a front end makes it: the question, and another folder when
// the one proposed (`taken`) is there; without one, or without an answer,
// the unpacking is refused, for a folder is never merged into.
struct UnpackOffer {
  UnpackQuestion ask;
  std::function<std::optional<std::string>(const std::string& taken)> other_folder;
  // The question's text for the tar file and the folder proposed for it;
  // unset: archive::text::kUnpackQuestion.
  std::function<std::string(const std::string& tar, const std::string& folder)> question;
};

// `decrypted` unchanged unless it completed with a ".tar" file that is there
// and the offer's question says yes; then the unpacking's result, which
// keeps the damage warnings of the decryption.
RunResult UnpackDecryptedTar(const RunResult& decrypted, const UnpackOffer& offer, RunContext& context);
// The same without another folder to offer.
RunResult UnpackDecryptedTar(const RunResult& decrypted, const UnpackQuestion& ask, RunContext& context);

}  // namespace vesk::commands
