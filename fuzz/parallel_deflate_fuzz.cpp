// The parallel deflate writer: data, level, thread count, block size, write
// sizes and a stop point drawn from the input; zlib's own inflate must give
// back exactly the part written before the stop, as one complete stream.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "compress/parallel_deflate.h"
#include "fuzz_draw.h"
#include "fuzz_support.h"
#include "platform/file_io.h"
#include "support/temp_dir.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const int kLevels[] = {0, 1, Z_DEFAULT_COMPRESSION, 9, 2, 5};
  vesk::fuzz::Draw draw(data, size);
  const std::string source = vesk::fuzz::MakeData(data, size, draw);
  const int level = kLevels[draw.Below(6)];
  const int threads = 1 + static_cast<int>(draw.Below(4));
  // From below the window (raised to it) to a few times the chunk.
  const std::size_t block = draw.Below(4) == 0 ? draw.Below(40000) : 32768 + draw.Below(300000);
  const std::size_t stop = draw.Below(3) == 0 ? draw.Below(source.size() + 1) : source.size();

  const std::string path = vesk::fuzz::ScratchDir() + "/parallel.zak";
  vesk::fuzz::Remove(path);
  {
    vesk::OutputFile out;
    out.CreateNew(path);
    vesk::compress::ParallelDeflateWriter writer(out, level, threads, block);
    for (std::size_t at = 0; at < stop;) {
      const std::size_t n = std::min(stop - at, draw.Size());
      writer.Write(source.data() + at, n);
      at += n;
      if (draw.Below(8) == 0 && writer.BytesOut() < 2) std::abort();  // a rate taken midway
    }
    writer.Finish();
    out.Close();
  }
  const std::string stream = vesk::testing::ReadFile(path);
  vesk::fuzz::Remove(path);

  std::string back(stop + 1, '\0');
  uLongf len = back.size();
  if (uncompress(reinterpret_cast<Bytef*>(back.data()), &len, reinterpret_cast<const Bytef*>(stream.data()),
                 stream.size()) != Z_OK) {
    std::abort();
  }
  if (len != stop || back.compare(0, stop, source, 0, stop) != 0) std::abort();
  return 0;
}
