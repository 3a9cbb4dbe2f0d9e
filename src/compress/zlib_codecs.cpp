// zlib alone: no faster codecs in this program.
#include "compress/inflate_codecs.h"

#include <zlib.h>

namespace vesk::compress {

std::unique_ptr<InflateEngine> NewFastInflateEngine() { return nullptr; }

std::unique_ptr<BlockDeflater> ChooseBlockDeflater(int, std::unique_ptr<BlockDeflater> zlib) { return zlib; }

uint32_t Adler32(const unsigned char* data, std::size_t n) {
  return static_cast<uint32_t>(adler32_z(1, data, n));
}

const char* CodecsName() { return "zlib"; }

}  // namespace vesk::compress
