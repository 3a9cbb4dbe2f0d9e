#include "compress/zlib_streams.h"

#include <isa-l/igzip_lib.h>

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

InflateReader::InflateReader(InputFile& in)
    : in_(in), state_(std::make_unique<inflate_state>()), buffer_(kInflateReadSize) {
  Reset();
}

InflateReader::~InflateReader() = default;

void InflateReader::Reset() {
  isal_inflate_init(state_.get());
  state_->crc_flag = ISAL_ZLIB;  // parse the zlib header, check the Adler-32 trailer
  state_->hist_bits = 0;         // the full 32 KiB window
  state_->next_in = nullptr;
  state_->avail_in = 0;
  complete_ = false;
}

std::size_t InflateReader::Read(void* out, std::size_t n) {
  inflate_state& s = *state_;
  s.next_out = static_cast<uint8_t*>(out);
  s.avail_out = static_cast<uint32_t>(n);
  while (!complete_ && s.avail_out > 0) {
    if (s.avail_in == 0) {
      const std::size_t got = in_.Read(buffer_.data(), buffer_.size());
      if (got == 0) throw ZlibError("the compressed stream ends early");
      s.next_in = buffer_.data();
      s.avail_in = static_cast<uint32_t>(got);
    }
    const uint32_t in_before = s.avail_in;
    const uint32_t out_before = s.avail_out;
    const int rc = isal_inflate(&s);
    if (rc == ISAL_NEED_DICT) throw ZlibError("the compressed stream needs a preset dictionary");
    if (rc < 0) {
      throw ZlibError(rc == ISAL_INCORRECT_CHECKSUM ? "the compressed stream fails its check"
                                                    : "not a valid compressed stream");
    }
    if (s.block_state == ISAL_BLOCK_FINISH) {
      complete_ = true;  // whatever is left in the buffer lies behind the stream
    } else if (s.avail_in == in_before && s.avail_out == out_before && s.avail_in > 0) {
      // With room on both sides the decoder always moves; never spin.
      throw ZlibError("the compressed stream cannot be decoded");
    }
  }
  return n - s.avail_out;
}

void InflateReader::Rewind() {
  in_.Seek(0);
  Reset();
}

}  // namespace vesk::compress
