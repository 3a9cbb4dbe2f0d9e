// Arbitrary bytes as a key-less container: the recogniser and the payload
// reader must never crash. The first byte chooses the key length, the next
// bytes are the key, the rest is the file.
#include <cstddef>
#include <cstdint>

#include "crypto/keyless/engine.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::size_t key_length = 1 + data[0] % 16;
  if (size < 1 + key_length) return 0;
  vesk::keyless::KeylessJob job;
  job.key.assign(reinterpret_cast<const char*>(data + 1), key_length);
  job.source_path = vesk::fuzz::WriteInput(data + 1 + key_length, size - 1 - key_length, "in.jmz");
  job.target_path = vesk::fuzz::ScratchDir() + "/out";
  vesk::fuzz::YesReporter reporter;
  vesk::RunContext context{reporter, reporter, {}};
  vesk::keyless::DecryptKeyless(job, context);
  vesk::fuzz::Remove(job.target_path);
  vesk::fuzz::Remove(job.source_path);
  return 0;
}
