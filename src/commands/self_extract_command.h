// The self-decrypting file commands, for the window and the command-line
// programs alike: create one from a keyed container, self-decrypt its
// payload, separate it into its program part and the container. The library
// links only the selfextract and keyed decryption engines and zlib, so that
// the small program part (vesk-sfx) runs the same commands.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "commands/command.h"
#include "commands/request.h"
#include "selfextract/layout.h"

namespace vesk::commands {

// Making a self-decrypting file ("name.run") from a keyed container.
struct CreateSfxRequest {
  std::string container;   // the keyed container
  OutputRule output;       // proposed: beside the container, its extension made ".run"
  std::string program;     // the program part; empty: vesk-sfx beside the running program
  int64_t image_size = 0;  // the program part's image; 0: measured from its file
  std::string own_file;    // a file the output may never replace (the running program)
  OverwritePolicy overwrite = OverwritePolicy::kAsk;
};

// Reading the payload of a self-decrypting file.
struct PayloadRequest {
  std::string file;  // the self-decrypting file; empty: the running program
  // Its payload header as already read (the window reads it at start-up);
  // unset: the command reads it, warning about damage.
  std::optional<selfextract::SelfDecryptInfo> info;
  OutputRule output;  // proposed: the stored name in the file's folder
  SecretText key;     // self-decrypt: the key as typed (UTF-8)
  bool allow_old_ciphers = false;  // self-decrypt: accept the oldest cipher
  OverwritePolicy overwrite = OverwritePolicy::kAsk;
};

class CreateSfxCommand final : public Command<CreateSfxRequest> {
 public:
  // The program part, the container (missing, empty, over 4 GiB, not a keyed
  // container) and the target: one item, or one refusal.
  Plan MakePlan(const CreateSfxRequest& request) override;
  // Asks before replacing (as the policy says), then writes the file.
  RunResult Run(const CreateSfxRequest& request, const PlannedItem& item, RunContext& context) override;

  // The checks of the program part and of the container alone, for a front
  // end that asks for the target after them.
  static std::optional<Refusal> CheckProgram(const CreateSfxRequest& request, std::string& program, int64_t& image_size);
  static std::optional<Refusal> CheckContainer(const std::string& container);
  // The replace question and the refusal of a target that cannot be
  // replaced; nothing when the run may go on. Shown through `context`.
  static std::optional<RunResult> Confirm(const CreateSfxRequest& request, const PlannedItem& item,
                                          RunContext& context);
};

// The payload header of `request.file` as the commands see it: read (damage
// warned through `context`) unless the request carries it. nullopt, with
// `why` set, when the file carries no payload.
struct OwnFile {
  std::string path;    // the file read (the running program's process entry for itself)
  std::string folder;  // where outputs are proposed, with its final "/"
  selfextract::SelfDecryptInfo info;
};
std::optional<OwnFile> ReadOwnFile(const PayloadRequest& request, RunContext& context, Refusal& why);

class SelfDecryptCommand final : public Command<PayloadRequest> {
 public:
  Plan MakePlan(const PayloadRequest& request) override;
  // Shows the payload, deciphers it (asking before replacing) and
  // decompresses a compressed one into place.
  RunResult Run(const PayloadRequest& request, const PlannedItem& item, RunContext& context) override;
};

class SeparateCommand final : public Command<PayloadRequest> {
 public:
  Plan MakePlan(const PayloadRequest& request) override;
  // Asks before replacing either output, writes the program part, then
  // copies the payload into the ".jmz".
  RunResult Run(const PayloadRequest& request, const PlannedItem& item, RunContext& context) override;
};

}  // namespace vesk::commands
