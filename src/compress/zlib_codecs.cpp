// zlib alone: no faster codecs in this program.
#include "compress/inflate_codecs.h"

namespace vesk::compress {

std::unique_ptr<InflateEngine> NewFastInflateEngine() { return nullptr; }

std::unique_ptr<BlockDeflater> ChooseBlockDeflater(int, std::unique_ptr<BlockDeflater> zlib) { return zlib; }

const char* CodecsName() { return "zlib"; }

}  // namespace vesk::compress
