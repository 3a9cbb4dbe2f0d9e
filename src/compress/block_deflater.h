// The deflater of one block of a parallel stream (parallel_deflate.h): raw
// deflate data primed with the source just before the block, ended on a byte
// boundary by a sync flush, or ended with the final block for the last one.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace vesk::compress {

class BlockDeflater {
 public:
  virtual ~BlockDeflater() = default;
  // Which of its ways this deflater would take for the block in[0, in_len)
  // after dict[0, dict_len) (0 for a deflater with only one). Any deflater
  // made for the same level may deflate with the answer.
  virtual int Choose(const unsigned char* /*dict*/, std::size_t /*dict_len*/, const unsigned char* /*in*/,
                     std::size_t /*in_len*/) {
    return 0;
  }
  // Whether `way` is likely the best for the blocks that follow the one it
  // was chosen for, too.
  virtual bool Lasting(int /*way*/) const { return false; }
  // Deflates in[0, in_len) after the dictionary dict[0, dict_len) into
  // `out`, grown as needed, the way Choose answered; returns the number of
  // bytes written. Throws ZlibError when the library fails.
  virtual std::size_t Deflate(int way, const unsigned char* dict, std::size_t dict_len, const unsigned char* in,
                              std::size_t in_len, bool last, std::vector<unsigned char>& out) = 0;
};

// zlib's deflate at `level` (0 .. 9 or Z_DEFAULT_COMPRESSION).
std::unique_ptr<BlockDeflater> NewZlibBlockDeflater(int level);

}  // namespace vesk::compress
