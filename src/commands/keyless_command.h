// The key-less commands: files and folders into key-less containers, and
// containers back into files (a tar file, on request, unpacked into its
// folder). Both front ends build a FileRequest with Format::kKeyless, plan it
// whole (every target and replace decision before the first run) and run
// each planned item with its context.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "commands/command.h"
#include "commands/request.h"
#include "commands/unpack_offer.h"
#include "core/prompter.h"
#include "crypto/keyless/random_source.h"

namespace vesk::commands {

// The names proposed beside a source: "a.txt" -> "a.txt.jmz", the folder
// "x/" -> "x.tar.jmz"; and back, the container's name without its extension.
std::string KeylessEncryptedName(const std::string& source);
std::string KeylessDecryptedName(const std::string& source);

class KeylessEncryptCommand : public Command<FileRequest> {
 public:
  // `ask` answers the replace questions of the plan (OverwritePolicy::kAsk).
  // With `offer_older`, the algorithm questions choose the cipher (the
  // window's hidden choice) instead of the request's `cipher`.
  explicit KeylessEncryptCommand(Prompter& ask, bool offer_older = false,
                                 keyless::RandomSource& random = keyless::DefaultRandom())
      : ask_(ask), offer_older_(offer_older), random_(random) {}

  Plan MakePlan(const FileRequest& request) override;
  RunResult Run(const FileRequest& request, const PlannedItem& item, RunContext& context) override;

 private:
  Prompter& ask_;
  bool offer_older_;
  keyless::RandomSource& random_;
};

class KeylessDecryptCommand : public Command<FileRequest> {
 public:
  // What a front end does about a decrypted tar file.
  // The unpacking offer; without a question the request's `unpack` answers.
  using Unpacking = UnpackOffer;

  explicit KeylessDecryptCommand(Prompter& ask, Unpacking unpacking = {})
      : ask_(ask), unpacking_(std::move(unpacking)) {}

  Plan MakePlan(const FileRequest& request) override;
  RunResult Run(const FileRequest& request, const PlannedItem& item, RunContext& context) override;

 private:
  Prompter& ask_;
  Unpacking unpacking_;
};

}  // namespace vesk::commands
