// Which implementation decodes and which deflates the fast level's blocks:
// chosen when the program is linked. Programs get the fast codecs where the
// build found them; vesk-sfx, which may load only libc, libm and zlib, gets
// zlib alone (its target sets the property VESK_ZLIB_ONLY).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "compress/block_deflater.h"
#include "compress/inflate_engine.h"

namespace vesk::compress {

// The faster decoder, or null where this program decodes with zlib.
std::unique_ptr<InflateEngine> NewFastInflateEngine();

// The block deflater for zlib `level`: a faster one whose blocks are no
// larger than `zlib`'s at that level (it keeps `zlib` for the blocks where
// zlib's would be smaller), or `zlib` itself where zlib deflates that level.
std::unique_ptr<BlockDeflater> ChooseBlockDeflater(int level, std::unique_ptr<BlockDeflater> zlib);

// The Adler-32 of `data` as zlib's adler32(1, data, n) gives it, by the
// faster implementation where this program has one.
uint32_t Adler32(const unsigned char* data, std::size_t n);

// The name of the codecs this program uses, for benchmarks and diagnostics.
const char* CodecsName();

}  // namespace vesk::compress
