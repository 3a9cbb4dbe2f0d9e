// The folder engines: a folder packed on the fly into a container (or a
// compressed or plain tar file), and a tar file unpacked into a folder. Each
// runs on a worker thread from start to end, shows its progress and asks its
// questions through the run's context, polls its stop token and returns how
// the run ended; it never touches a command's state. A failure, a refusal
// or a cancel leaves nothing behind and whatever stood at the target
// untouched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/run_context.h"
#include "core/run_result.h"
#include "crypto/age_files/engine.h"
#include "crypto/keyed/random_source.h"
#include "crypto/keyless/format.h"
#include "crypto/keyless/random_source.h"

namespace vesk::archive {

// Where the packed stream goes before the target.
enum class Road {
  kTar,         // nothing: a plain tar file
  kCompressed,  // one zlib stream (a ".zak" of the tar)
  kKeyed,       // a keyed container, compressed first when `level` is not 0
  kKeyless,     // a key-less container
  kAge,         // an age file, to the recipients or passphrase of `age`
};

struct PackJob {
  std::string folder;       // the folder to pack
  std::string target_path;  // the file to write
  Road road = Road::kKeyed;
  std::string key;          // GBK bytes of the key (keyed and key-less roads)
  int level = 0;            // compression: 1..3 (0 = none, keyed road only)
  uint8_t layer_number = 1;
  uint8_t info_click_count = 0;  // above 7 the older algorithms are offered
  // The key-less road: the version to write without asking; unset, it is
  // chosen as `info_click_count` says.
  std::optional<keyless::Version> keyless_version;
  // How the finished file takes the target's place, as for the file engines:
  // true replaces what the user agreed to replace; false keeps a file that
  // appeared meanwhile (a failed replace); unset decides at the start.
  std::optional<bool> replace_target;
  // The age road: who the file is for (recipients or passphrase), armor,
  // work factor and threads; its paths are not used.
  std::shared_ptr<const age_files::EncryptJob> age;
  // Fault injection for tests: called before each write to the target.
  std::function<void(int64_t offset, std::size_t size)> before_write;
};

// The keyed and key-less roads draw from the given random sources, or
// from the system's when none is given; the others draw from none.
RunResult PackFolder(const PackJob& job, RunContext& context, keyed::RandomSource* keyed_random = nullptr,
                     keyless::RandomSource* keyless_random = nullptr);

struct UnpackJob {
  std::string source_path;    // the tar file
  std::string target_folder;  // the folder to make; it must not exist
  // The tar file was made by this command (decrypted just before): it goes
  // once the folder holds everything it held.
  bool remove_source_after = false;
};

RunResult UnpackFolder(const UnpackJob& job, RunContext& context);

}  // namespace vesk::archive
