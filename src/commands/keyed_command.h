// The keyed ".jmz" commands: a file compressed first (unless the level is
// 0) and then encrypted into a keyed container. A front end builds a
// FileRequest with Format::kKeyed (sources, output rule, key, the key of a
// container encrypted again, level, cipher, overwrite policy), plans it
// whole and runs each planned item with its context.
#pragma once

#include <functional>
#include <string>

#include "commands/command.h"
#include "commands/request.h"
#include "commands/unpack_offer.h"
#include "core/prompter.h"
#include "crypto/keyed/random_source.h"

namespace vesk::commands {

// The container of `source` under `rule`: its name with ".jmz" for its
// extension; a name given keeps its stem and gets ".jmz" as well.
std::string KeyedTarget(const OutputRule& rule, const std::string& source);

// A folder is packed into a tar stream on the fly, with no temporary copy.
class KeyedEncryptCommand : public Command<FileRequest> {
 public:
  // `ask` answers the replace questions of the plan; `random` fills the
  // containers' random bytes.
  KeyedEncryptCommand(Prompter& ask, keyed::RandomSource& random) : ask_(ask), random_(random) {}
  Plan MakePlan(const FileRequest& request) override;
  // Shows its ending itself.
  RunResult Run(const FileRequest& request, const PlannedItem& item, RunContext& context) override;

 private:
  Prompter& ask_;
  keyed::RandomSource& random_;
};

// The output of decrypting `source` as the engine is handed it: without the
// extension the container stores, which the engine appends again. An exact
// name that ends in that extension names the final file; a name in a folder
// and the proposal are the source's name without its extension (and without
// the stored one, when it ends in it: "a.tar.jmz" proposes "a").
std::string KeyedPlainTarget(const OutputRule& rule, const std::string& source);

// Keyed containers, and files without the container's marker, which are
// decompressed as ".zak" files; the decompression of a compressed payload
// runs to its end within the run. The engine names the output (the stored
// extension) and asks before replacing a file once the key has matched.
class KeyedDecryptCommand : public Command<FileRequest> {
 public:
  // Asks whether to unpack a decrypted tar file into the folder beside it
  // (archive::text::kUnpackQuestion); none: the request's `unpack` answers.
  // An existing folder is never merged into: the unpacking is refused.
  explicit KeyedDecryptCommand(UnpackQuestion ask_unpack = {}) : unpack_{std::move(ask_unpack), {}, {}} {}
  // The window's offer, which names another folder when the one proposed
  // is there.
  explicit KeyedDecryptCommand(UnpackOffer offer) : unpack_(std::move(offer)) {}

  Plan MakePlan(const FileRequest& request) override;
  // Shows its ending itself.
  RunResult Run(const FileRequest& request, const PlannedItem& item, RunContext& context) override;

 private:
  RunResult Decrypt(const FileRequest& request, const PlannedItem& item, RunContext& context);

  UnpackOffer unpack_;
};

}  // namespace vesk::commands
