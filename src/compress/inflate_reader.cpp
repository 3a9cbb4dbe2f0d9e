#include "compress/inflate_reader.h"

#include <algorithm>
#include <limits>

namespace vesk::compress {

InflateReader::InflateReader(InputFile& in)
    : InflateReader([&in](void* out, std::size_t n) { return in.Read(out, n); }) {
  in_ = &in;
}

InflateReader::InflateReader(std::function<std::size_t(void*, std::size_t)> read)
    : read_(std::move(read)), buffer_(kInflateReadSize) {
  // A positive window size: the zlib header and the Adler-32 trailer are
  // required and checked, and a header asking for a window larger than
  // 32 KiB is refused.
  const int rc = inflateInit2(&z_, kZlibWindowBits);
  if (rc != Z_OK) FailZlib("cannot start decompression", z_, rc);
}

InflateReader::~InflateReader() { inflateEnd(&z_); }

void InflateReader::Fill() {
  const std::size_t got = read_(buffer_.data(), buffer_.size());
  source_ended_ = got < buffer_.size();  // a short read happens only at the end of the file
  z_.next_in = buffer_.data();
  z_.avail_in = static_cast<uInt>(got);
}

std::size_t InflateReader::Read(void* out, std::size_t n) {
  auto* next = static_cast<unsigned char*>(out);
  std::size_t left = n;
  while (!complete_ && left > 0) {
    const auto room = static_cast<uInt>(std::min<std::size_t>(left, std::numeric_limits<uInt>::max()));
    z_.next_out = next;
    z_.avail_out = room;
    if (z_.avail_in == 0 && !source_ended_) Fill();
    // The decoder is asked first and the end of the source judged only when
    // it cannot move: it may still hold input bits, a match to finish or the
    // trailer without needing another byte from the file.
    const int rc = inflate(&z_, Z_NO_FLUSH);
    const uInt made = room - z_.avail_out;
    next += made;
    left -= made;
    switch (rc) {
      case Z_STREAM_END:
        complete_ = true;  // whatever is left in the buffer lies behind the stream
        break;
      case Z_OK:
        break;
      case Z_BUF_ERROR:  // no progress was possible
        if (z_.avail_in == 0 && source_ended_) throw ZlibError("the compressed stream ends early");
        if (z_.avail_in == 0) break;  // read on
        FailZlib("the compressed stream cannot be decoded", z_, rc);
      case Z_NEED_DICT:
        throw ZlibError("the compressed stream needs a preset dictionary");
      case Z_DATA_ERROR:
        FailZlib("not a valid compressed stream", z_, rc);
      default:
        FailZlib("decompression failed", z_, rc);
    }
  }
  return n - left;
}

void InflateReader::Rewind() {
  if (in_ == nullptr) throw ZlibError("a stream cannot be read again");
  in_->Seek(0);
  const int rc = inflateReset(&z_);
  if (rc != Z_OK) FailZlib("cannot restart decompression", z_, rc);
  z_.next_in = nullptr;
  z_.avail_in = 0;
  source_ended_ = false;
  complete_ = false;
}

}  // namespace vesk::compress
