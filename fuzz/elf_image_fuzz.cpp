// The ELF image measure of self-decrypting files (any file may be opened as
// one) and the padding the build gives the program part: a measured image
// never reaches past the file; an image that fills its file, once padded,
// ends at the page residue asked for, still fills its file, and is measured
// the same with a payload behind it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <string>

#include "fuzz_support.h"
#include "platform/file_io.h"
#include "selfextract/elf_image.h"

namespace {

int64_t Measure(const std::string& path) {
  try {
    return vesk::selfextract::ImageSizeOf(path);
  } catch (const vesk::IoError&) {
    return -1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string path = vesk::fuzz::WriteInput(data, size, "image");
  const int64_t image = Measure(path);
  if (image > static_cast<int64_t>(size)) std::abort();
  if (image != static_cast<int64_t>(size)) return 0;

  constexpr int64_t kResidue = 3837;
  try {
    vesk::selfextract::AlignImageEnd(path, 4096, kResidue);
  } catch (const vesk::IoError&) {
    return 0;  // refused: no section header table it can extend
  }
  const int64_t padded = vesk::FileSizeOf(path);
  if (Measure(path) != padded || padded % 4096 != kResidue) std::abort();
  std::ofstream(path, std::ios::binary | std::ios::app) << "a payload behind the image";
  if (Measure(path) != padded) std::abort();
  return 0;
}
