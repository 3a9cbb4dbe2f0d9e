#include "compress/zlib_streams.h"

#include <algorithm>
#include <limits>
#include <string>

namespace vesk::compress {
namespace {

constexpr int kWindowBits = 15;  // 32 KiB window, zlib header and Adler-32 trailer
constexpr int kMemLevel = 8;

[[noreturn]] void Fail(const char* what, const z_stream& z, int code) {
  std::string text = what;
  text += ": ";
  text += z.msg != nullptr ? z.msg : zError(code);
  throw ZlibError(text);
}

}  // namespace

DeflateWriter::DeflateWriter(OutputFile& out, int level) : out_(out), block_(kDeflateBlockSize) {
  int rc = deflateInit2(&z_, level, Z_DEFLATED, kWindowBits, kMemLevel, Z_DEFAULT_STRATEGY);
  if (rc != Z_OK) Fail("cannot start compression", z_, rc);
  z_.next_out = block_.data();
  z_.avail_out = static_cast<uInt>(block_.size());
}

DeflateWriter::~DeflateWriter() { deflateEnd(&z_); }

void DeflateWriter::WriteBlock() {
  std::size_t filled = block_.size() - z_.avail_out;
  if (filled > 0) out_.Write(block_.data(), filled);
  z_.next_out = block_.data();
  z_.avail_out = static_cast<uInt>(block_.size());
}

void DeflateWriter::Write(const void* data, std::size_t n) {
  // zlib does not write through next_in; the cast only satisfies its API.
  z_.next_in = static_cast<Bytef*>(const_cast<void*>(data));
  z_.avail_in = static_cast<uInt>(n);
  while (z_.avail_in > 0) {
    if (z_.avail_out == 0) WriteBlock();
    int rc = deflate(&z_, Z_NO_FLUSH);
    if (rc != Z_OK && rc != Z_BUF_ERROR) Fail("compression failed", z_, rc);
  }
  if (z_.avail_out == 0) WriteBlock();
}

void DeflateWriter::Finish() {
  if (finished_) return;
  z_.next_in = nullptr;
  z_.avail_in = 0;
  for (;;) {
    int rc = deflate(&z_, Z_FINISH);
    if (rc == Z_STREAM_END) break;
    if (rc != Z_OK && rc != Z_BUF_ERROR) Fail("compression failed", z_, rc);
    WriteBlock();  // Z_OK under Z_FINISH means the block is full
  }
  WriteBlock();
  finished_ = true;
}

InflateReader::InflateReader(InputFile& in) : in_(in), buffer_(kInflateReadSize) {
  // A positive window size: the zlib header and the Adler-32 trailer are
  // required and checked, and a header asking for a window larger than
  // 32 KiB is refused.
  const int rc = inflateInit2(&z_, kWindowBits);
  if (rc != Z_OK) Fail("cannot start decompression", z_, rc);
}

InflateReader::~InflateReader() { inflateEnd(&z_); }

void InflateReader::Fill() {
  const std::size_t got = in_.Read(buffer_.data(), buffer_.size());
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
        Fail("the compressed stream cannot be decoded", z_, rc);
      case Z_NEED_DICT:
        throw ZlibError("the compressed stream needs a preset dictionary");
      case Z_DATA_ERROR:
        Fail("not a valid compressed stream", z_, rc);
      default:
        Fail("decompression failed", z_, rc);
    }
  }
  return n - left;
}

void InflateReader::Rewind() {
  in_.Seek(0);
  const int rc = inflateReset(&z_);
  if (rc != Z_OK) Fail("cannot restart decompression", z_, rc);
  z_.next_in = nullptr;
  z_.avail_in = 0;
  source_ended_ = false;
  complete_ = false;
}

}  // namespace vesk::compress
