#include "compress/zlib_streams.h"

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
  int rc = inflateInit2(&z_, kWindowBits);
  if (rc != Z_OK) Fail("cannot start decompression", z_, rc);
}

InflateReader::~InflateReader() { inflateEnd(&z_); }

std::size_t InflateReader::Read(void* out, std::size_t n) {
  if (ended_ || n == 0) return 0;
  z_.next_out = static_cast<Bytef*>(out);
  z_.avail_out = static_cast<uInt>(n);
  while (z_.avail_out > 0) {
    if (z_.avail_in == 0 && !source_ended_) {
      std::size_t got = in_.Read(buffer_.data(), buffer_.size());
      if (got == 0) source_ended_ = true;
      z_.next_in = buffer_.data();
      z_.avail_in = static_cast<uInt>(got);
    }
    int rc = inflate(&z_, Z_NO_FLUSH);
    if (rc == Z_STREAM_END) {
      ended_ = true;
      complete_ = true;
      break;
    }
    if (rc == Z_BUF_ERROR && z_.avail_in == 0 && source_ended_) {
      ended_ = true;  // the source ran out inside the stream
      break;
    }
    if (rc != Z_OK) Fail("not a valid compressed stream", z_, rc == Z_NEED_DICT ? Z_DATA_ERROR : rc);
  }
  return n - z_.avail_out;
}

void InflateReader::Rewind() {
  in_.Seek(0);
  int rc = inflateReset(&z_);
  if (rc != Z_OK) Fail("cannot restart decompression", z_, rc);
  z_.next_in = nullptr;
  z_.avail_in = 0;
  source_ended_ = false;
  ended_ = false;
  complete_ = false;
}

}  // namespace vesk::compress
