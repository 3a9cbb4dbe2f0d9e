// Arbitrary bytes as a keyed container: the header reader and its search,
// the key test, the size checks and the payload reader must never crash or
// leave a file behind on failure. The first input byte chooses the key length, the next bytes
// are the key, and the rest is the file.
#include <cstddef>
#include <cstdint>

#include "crypto/keyed/decrypt_engine.h"
#include "crypto/keyed/reencryption_check.h"
#include "crypto/keyed/stored_extension.h"
#include "fuzz_support.h"
#include "platform/file_io.h"

namespace {

class Host : public vesk::keyed::DecryptHost {
 public:
  std::string DecryptionKey() override { return key; }
  void SetHint(vesk::Hint, const std::string&) override {}
  void OutputChosen(const std::string& path) override { output = path; }
  bool StartDecompression(const std::string& source, const std::string&, bool delete_after) override {
    if (delete_after) vesk::DeleteFile(source);
    return true;
  }
  std::string key, output;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::size_t key_length = 1 + data[0] % 16;
  if (size < 1 + key_length) return 0;
  Host host;
  host.key.assign(reinterpret_cast<const char*>(data + 1), key_length);
  const std::string path = vesk::fuzz::WriteInput(data + 1 + key_length, size - 1 - key_length, "in.jmz");

  // The header reader on its own, searching both places as the naming of
  // outputs does.
  (void)vesk::keyed::StoredExtension(path);

  vesk::fuzz::YesReporter check_reporter;
  (void)vesk::keyed::CheckReencryption(path, host.key, check_reporter);

  vesk::fuzz::YesReporter reporter;
  vesk::RunContext context{reporter, reporter, {}};
  vesk::keyed::DecryptJob job;
  job.source_path = path;
  job.original_ext = ".jmz";
  job.target_path = vesk::fuzz::ScratchDir() + "/out";
  job.info_click_count = 8;
  (void)vesk::keyed::DecryptFile(job, context, host);
  if (!host.output.empty()) vesk::fuzz::Remove(host.output);
  vesk::fuzz::Remove(job.target_path);
  vesk::fuzz::Remove(path);
  return 0;
}
