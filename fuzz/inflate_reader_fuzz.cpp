// The inflate reader against zlib's own inflate.
//
// First byte even: the rest is deflated by zlib at a level, with flush points
// and data drawn from the input, and read back through the reader in
// requests of drawn sizes (with a rewind now and then, and bytes behind the
// stream); the reader must give back exactly the data, and refuse the
// stream cut short where zlib does.
// First byte odd: the rest is given to the reader as it is; it must never
// crash, accept exactly what zlib accepts and yield the same bytes.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "compress/deflate_writer.h"
#include "compress/inflate_reader.h"
#include "fuzz_draw.h"
#include "fuzz_support.h"
#include "platform/file_io.h"

namespace {

using vesk::fuzz::Draw;
using vesk::fuzz::MakeData;

[[noreturn]] void Disagree() { std::abort(); }

// zlib's verdict on `stream` as a whole: true and its output when it holds a
// complete zlib stream (bytes behind it ignored), false otherwise.
bool ZlibInflate(const std::string& stream, std::string* out, std::size_t limit, bool* too_large) {
  z_stream z{};
  if (inflateInit2(&z, 15) != Z_OK) std::abort();
  out->clear();
  *too_large = false;
  std::vector<unsigned char> buf(1 << 16);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
  z.avail_in = static_cast<uInt>(stream.size());
  int rc = Z_OK;
  while (rc == Z_OK) {
    z.next_out = buf.data();
    z.avail_out = static_cast<uInt>(buf.size());
    rc = inflate(&z, Z_NO_FLUSH);
    out->append(reinterpret_cast<char*>(buf.data()), buf.size() - z.avail_out);
    if (out->size() > limit) {
      *too_large = true;
      break;
    }
  }
  inflateEnd(&z);
  return rc == Z_STREAM_END;
}

// What the reader yields with requests of drawn sizes; false when it refused
// the stream. `*out` holds what it gave before refusing.
// Requests are at least `min_step` bytes, so that a large output does not
// take millions of them.
bool ReaderInflate(const std::string& stream, Draw& draw, std::string* out, std::size_t limit, std::size_t min_step) {
  const std::string path = vesk::fuzz::WriteInput(reinterpret_cast<const uint8_t*>(stream.data()), stream.size(),
                                                  "stream.zak");
  vesk::InputFile in(path);
  vesk::compress::InflateReader reader(in);
  out->clear();
  std::vector<char> buf;
  bool rewound = false;
  try {
    for (;;) {
      const std::size_t step = std::max(draw.Size(), min_step);
      buf.resize(step);
      const std::size_t got = reader.Read(buf.data(), step);
      if (got > step) Disagree();
      out->append(buf.data(), got);
      if (got < step) break;
      if (out->size() > limit) return true;  // the caller skips the comparison
      if (!rewound && draw.Below(16) == 0) {
        // Start over in the middle: the second pass must give the same bytes.
        reader.Rewind();
        out->clear();
        rewound = true;
      }
    }
  } catch (const vesk::compress::ZlibError&) {
    if (reader.Complete()) Disagree();
    return false;
  }
  if (!reader.Complete()) Disagree();
  if (reader.Read(buf.data(), buf.size()) != 0) Disagree();  // stays at the end
  return true;
}

std::string Deflate(const std::string& data, Draw& draw) {
  static const int kFlushes[] = {Z_NO_FLUSH, Z_SYNC_FLUSH, Z_FULL_FLUSH, Z_PARTIAL_FLUSH, Z_BLOCK};
  static const int kStrategies[] = {Z_DEFAULT_STRATEGY, Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE,
                                    Z_FIXED};
  z_stream z{};
  const int level = static_cast<int>(draw.Below(11)) - 1;  // -1 (the default) .. 9
  const int strategy = kStrategies[draw.Below(6)];
  const int window = 9 + static_cast<int>(draw.Below(7));  // 9..15: what a 15-bit reader takes
  if (deflateInit2(&z, level, Z_DEFLATED, window, 1 + static_cast<int>(draw.Below(9)), strategy) != Z_OK) {
    std::abort();
  }
  std::string out;
  std::vector<unsigned char> buf(1 + draw.Below(70000));
  std::size_t at = 0;
  int flush;
  do {
    // At most about 64 pieces: a full flush clears deflate's tables, and
    // thousands of them would make one case take minutes.
    const std::size_t n = std::min(data.size() - at, std::max(draw.Size(), data.size() / 64));
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data() + at));
    z.avail_in = static_cast<uInt>(n);
    at += n;
    flush = at == data.size() ? Z_FINISH : draw.Below(2) == 0 ? Z_NO_FLUSH : kFlushes[draw.Below(5)];
    int rc;
    do {
      z.next_out = buf.data();
      z.avail_out = static_cast<uInt>(buf.size());
      rc = deflate(&z, flush);
      if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) std::abort();
      out.append(reinterpret_cast<char*>(buf.data()), buf.size() - z.avail_out);
    } while (z.avail_out == 0 || (flush == Z_FINISH && rc != Z_STREAM_END));
  } while (flush != Z_FINISH);
  deflateEnd(&z);
  return out;
}

void RoundTrip(const uint8_t* data, std::size_t size) {
  Draw draw(data, size);
  const std::string source = MakeData(data, size, draw);
  const std::string stream = Deflate(source, draw);
  std::string behind(draw.Below(3) == 0 ? draw.Size() % 5000 : 0, '\0');
  for (auto& c : behind) c = static_cast<char>(draw.Next());

  std::string ours, theirs;
  bool too_large = false;
  if (!ZlibInflate(stream + behind, &theirs, source.size(), &too_large) || theirs != source) Disagree();
  const std::size_t min_step = source.size() / 256;
  if (!ReaderInflate(stream + behind, draw, &ours, source.size() + 1, min_step) || ours != source) Disagree();

  // Cut short anywhere up to the last trailer byte: both refuse.
  const std::string cut = stream.substr(0, draw.Below(stream.size()));
  if (ZlibInflate(cut, &theirs, source.size(), &too_large)) Disagree();
  if (ReaderInflate(cut, draw, &ours, source.size() + 1, min_step)) Disagree();
}

void RawBytes(const uint8_t* data, std::size_t size) {
  constexpr std::size_t kLimit = 16 << 20;  // a small input may claim a large output
  const std::string stream(reinterpret_cast<const char*>(data), size);
  Draw draw(data, size);
  std::string ours, theirs;
  bool too_large = false;
  const bool zlib_accepts = ZlibInflate(stream, &theirs, kLimit, &too_large);
  if (too_large) return;
  const bool reader_accepts = ReaderInflate(stream, draw, &ours, kLimit, theirs.size() / 256);
  if (zlib_accepts != reader_accepts) Disagree();
  // Accepted: the same bytes. Refused: what both gave first agrees (the fast
  // decoder may get further into a malformed block before its refusal).
  const std::size_t common = std::min(ours.size(), theirs.size());
  if (zlib_accepts ? ours != theirs : ours.compare(0, common, theirs, 0, common) != 0) Disagree();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  if (data[0] % 2 == 0) {
    RoundTrip(data + 1, size - 1);
  } else {
    RawBytes(data + 1, size - 1);
  }
  return 0;
}
