// The program's decoder (the fast one where the build has it) against
// zlib's, through the inflate reader: the same bytes, or the same refusal
// with the same fault, but for three kinds of malformed stream that the two
// judge differently (see Compare).
//
// First byte even: the rest is deflated by zlib at a drawn level, strategy
// and window, or by the parallel writer (whose fast level is the fast
// deflater's), then damaged in a drawn way: cut short, bits flipped, the
// trailer or the header changed, bytes put behind it, or left whole.
// First byte odd: the rest is given to both decoders as it is.
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "compress/inflate_reader.h"
#include "compress/parallel_deflate.h"
#include "fuzz_draw.h"
#include "fuzz_support.h"
#include "platform/file_io.h"

namespace {

using vesk::fuzz::Draw;
using vesk::fuzz::MakeData;

struct Verdict {
  bool accepted = false;
  std::string out;
  vesk::compress::StreamFault fault = vesk::compress::StreamFault::kFailure;
};

constexpr std::size_t kLimit = 16 << 20;  // a small input may claim a large output

Verdict Decode(const std::string& path, std::unique_ptr<vesk::compress::InflateEngine> engine, std::size_t step) {
  vesk::InputFile in(path);
  vesk::compress::InflateReader reader(in, std::move(engine));
  Verdict v;
  std::vector<char> buf(step);
  try {
    for (;;) {
      const std::size_t got = reader.Read(buf.data(), step);
      v.out.append(buf.data(), got);
      if (got < step || v.out.size() > kLimit) break;
    }
    v.accepted = reader.Complete();
  } catch (const vesk::compress::ZlibError& e) {
    v.fault = e.Fault();
  }
  return v;
}

// A stream cut short inside a damaged block header is both: one decoder
// calls it cut short when it runs out of input before the header's end, the
// other may see the damage in the bytes it has. Both refuse it, with the same
// message; the faults may differ only when the decoder that calls it cut
// short, given more bytes behind the cut, calls the stream damaged too.
bool CutInsideDamage(const std::string& stream, std::unique_ptr<vesk::compress::InflateEngine> engine) {
  const std::string longer = stream + std::string(1024, '\0');
  const std::string longer_path =
      vesk::fuzz::WriteInput(reinterpret_cast<const uint8_t*>(longer.data()), longer.size(), "longer.zak");
  const Verdict verdict = Decode(longer_path, std::move(engine), 65536);
  return !verdict.accepted && verdict.fault == vesk::compress::StreamFault::kDamaged;
}

// zlib's own message for the stream as a whole, or "" when it decodes.
std::string ZlibMessage(const std::string& stream) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) std::abort();
  std::string out(1 << 16, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
  z.avail_in = static_cast<uInt>(stream.size());
  int rc = Z_OK;
  while (rc == Z_OK) {
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    rc = inflate(&z, Z_NO_FLUSH);
    if (z.total_out > kLimit) break;
  }
  const std::string message = rc == Z_DATA_ERROR && z.msg != nullptr ? z.msg : "";
  inflateEnd(&z);
  return message;
}

void Compare(const std::string& stream, std::size_t step) {
  const std::string path =
      vesk::fuzz::WriteInput(reinterpret_cast<const uint8_t*>(stream.data()), stream.size(), "differential.zak");
  const Verdict zlib = Decode(path, vesk::compress::NewZlibInflateEngine(), step);
  const Verdict ours = Decode(path, vesk::compress::NewInflateEngine(), step);
  if (zlib.out.size() > kLimit) return;
  bool same = ours.accepted == zlib.accepted && (zlib.accepted ? ours.out == zlib.out : ours.fault == zlib.fault);
  using vesk::compress::StreamFault;
  if (!same && !ours.accepted && !zlib.accepted) {
    if (zlib.fault == StreamFault::kTruncated && ours.fault == StreamFault::kDamaged) {
      same = CutInsideDamage(stream, vesk::compress::NewZlibInflateEngine());
    }
    if (zlib.fault == StreamFault::kDamaged && ours.fault == StreamFault::kTruncated) {
      same = CutInsideDamage(stream, vesk::compress::NewInflateEngine());
    }
    // zlib refuses a dynamic block whose distance code is incomplete; the
    // fast decoder decodes it, and the wrong bytes then fail the check.
    if (zlib.fault == StreamFault::kDamaged && ours.fault == StreamFault::kChecksum) same = true;
  }
  // When the damage only left distance codes unused that the data never
  // needs, the fast decoder's bytes are the right ones, and its Adler-32
  // check passes them, where zlib refuses the incomplete code itself.
  if (!same && ours.accepted && !zlib.accepted && zlib.fault == StreamFault::kDamaged) {
    same = ZlibMessage(stream) == "invalid distances set";
  }
  if (!same) {
    std::fprintf(stderr, "zlib: accepted %d, fault %d, %zu bytes; ours: accepted %d, fault %d, %zu bytes\n",
                 zlib.accepted, static_cast<int>(zlib.fault), zlib.out.size(), ours.accepted,
                 static_cast<int>(ours.fault), ours.out.size());
    std::abort();
  }
}

std::string ZlibDeflate(const std::string& data, Draw& draw) {
  static const int kStrategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
  static const int kFlushes[] = {Z_NO_FLUSH, Z_SYNC_FLUSH, Z_FULL_FLUSH, Z_PARTIAL_FLUSH, Z_BLOCK};
  z_stream z{};
  const int level = static_cast<int>(draw.Below(11)) - 1;
  const int window = 9 + static_cast<int>(draw.Below(7));
  if (deflateInit2(&z, level, Z_DEFLATED, window, 8, kStrategies[draw.Below(5)]) != Z_OK) std::abort();
  std::string out(deflateBound(&z, data.size()) + 6 * 64 + 64, '\0');
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const std::size_t piece = std::max<std::size_t>(1, data.size() / 8);
  for (std::size_t at = 0; at < data.size(); at += piece) {
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data() + at));
    z.avail_in = static_cast<uInt>(std::min(piece, data.size() - at));
    if (deflate(&z, kFlushes[draw.Below(5)]) != Z_OK) std::abort();
  }
  if (deflate(&z, Z_FINISH) != Z_STREAM_END) std::abort();
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::string ParallelDeflate(const std::string& data, Draw& draw) {
  static const int kLevels[] = {0, 1, 1, Z_DEFAULT_COMPRESSION, 9};
  std::string out;
  vesk::compress::ParallelDeflateWriter writer(
      [&out](const void* p, std::size_t n) { out.append(static_cast<const char*>(p), n); },
      kLevels[draw.Below(5)], 1 + static_cast<int>(draw.Below(3)), 32768 + draw.Below(100000));
  writer.Write(data.data(), data.size());
  writer.Finish();
  return out;
}

void Damage(std::string& stream, Draw& draw) {
  if (stream.empty()) return;
  switch (draw.Below(6)) {
    case 0:
      stream.resize(draw.Below(stream.size()));
      break;
    case 1:
      for (std::size_t k = 1 + draw.Below(3); k > 0; --k) {
        const std::size_t at = draw.Below(stream.size());
        stream[at] = static_cast<char>(stream[at] ^ (1 << draw.Below(8)));
      }
      break;
    case 2:
      stream[stream.size() - 1 - draw.Below(std::min<std::size_t>(4, stream.size()))] ^= 0x01;
      break;
    case 3:
      stream[draw.Below(std::min<std::size_t>(2, stream.size()))] = static_cast<char>(draw.Next());
      break;
    case 4:
      for (std::size_t k = draw.Below(100); k > 0; --k) stream += static_cast<char>(draw.Next());
      break;
    default:
      break;  // whole
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  Draw draw(data + 1, size - 1);
  if (data[0] % 2 == 1) {
    Compare(std::string(reinterpret_cast<const char*>(data + 1), size - 1), 1 + draw.Size());
    return 0;
  }
  const std::string source = MakeData(data + 1, size - 1, draw);
  std::string stream = draw.Below(2) == 0 ? ZlibDeflate(source, draw) : ParallelDeflate(source, draw);
  Damage(stream, draw);
  Compare(stream, 1 + draw.Size());
  return 0;
}
