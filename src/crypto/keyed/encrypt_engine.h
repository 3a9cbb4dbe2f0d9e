// Turns one file into a keyed container, reporting through the Reporter and
// polling its KeepRunning flag.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "core/reporting.h"
#include "crypto/keyed/random.h"

namespace vesk::keyed {

struct EncryptJob {
  std::string key;            // GBK bytes of the key box, CR LF between lines
  std::string source_path;    // the chosen file, or its temporary ".zak" copy
  std::string target_path;    // the container to write
  std::string original_ext;   // GBK bytes of the chosen file's extension, with its dot
  uint8_t pre_zip_level = 0;  // 0 = the source is the chosen file itself
  uint8_t layer_number = 1;
  uint8_t info_click_count = 0;  // above 7 the older ciphers are offered
  // Fault injection for tests: called before each write to the target with
  // the file offset and size; may throw to simulate a failing disk.
  std::function<void(int64_t offset, std::size_t size)> before_write;
};

void EncryptEngine(const EncryptJob& job, Reporter& reporter, RandomSource& random);

}  // namespace vesk::keyed
