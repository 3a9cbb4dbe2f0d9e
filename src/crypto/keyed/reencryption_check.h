// Decides whether a file chosen for encryption is itself a keyed container
// and, if so, whether it may get another layer.
#pragma once

#include <cstdint>
#include <string>

#include "core/reporting.h"

namespace vesk::keyed {

struct ReencryptionResult {
  bool refused = false;      // reported, KeepRunning cleared, EncryptButton idle
  uint8_t layer_number = 1;  // the layer the new container gets
};

// `key` is the GBK text of the decryption key box. Throws IoError when the
// file cannot be opened; every other failure is reported here.
ReencryptionResult CheckReencryption(const std::string& path, const std::string& key, Reporter& reporter);

}  // namespace vesk::keyed
