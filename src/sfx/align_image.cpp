// Build step for vesk-sfx: pads its image so that the payload a
// self-decrypting file carries behind it (after the payload header) starts on
// a page boundary. The kernel then copies the container into and out of such
// a file page for page, at the speed of a plain file copy.
//
//   vesk-align-image PROGRAM
#include <cstdio>
#include <exception>

#include "selfextract/elf_image.h"
#include "selfextract/layout.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vesk-align-image PROGRAM\n");
    return 2;
  }
  constexpr int64_t kPage = 4096;
  try {
    vesk::selfextract::AlignImageEnd(argv[1], kPage, (kPage - vesk::selfextract::kHeaderSize % kPage) % kPage);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vesk-align-image: %s\n", e.what());
    return 1;
  }
  return 0;
}
