#include "compress/deflate_writer.h"

namespace vesk::compress {

DeflateWriter::DeflateWriter(OutputFile& out, int level) : out_(out), block_(kDeflateBlockSize) {
  int rc = deflateInit2(&z_, level, Z_DEFLATED, kZlibWindowBits, kZlibMemLevel, Z_DEFAULT_STRATEGY);
  if (rc != Z_OK) FailZlib("cannot start compression", z_, rc);
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
    if (rc != Z_OK && rc != Z_BUF_ERROR) FailZlib("compression failed", z_, rc);
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
    if (rc != Z_OK && rc != Z_BUF_ERROR) FailZlib("compression failed", z_, rc);
    WriteBlock();  // Z_OK under Z_FINISH means the block is full
  }
  WriteBlock();
  finished_ = true;
}

}  // namespace vesk::compress
