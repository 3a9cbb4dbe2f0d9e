#include "compress/inflate_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "compress/inflate_codecs.h"

namespace vesk::compress {
namespace {

class ZlibInflateEngine : public InflateEngine {
 public:
  ZlibInflateEngine() {
    // A positive window size: the zlib header and the Adler-32 trailer are
    // required and checked, and a header asking for a window larger than
    // 32 KiB is refused.
    const int rc = inflateInit2(&z_, kZlibWindowBits);
    if (rc != Z_OK) FailZlib("cannot start decompression", z_, rc);
  }
  ~ZlibInflateEngine() override { inflateEnd(&z_); }
  ZlibInflateEngine(const ZlibInflateEngine&) = delete;
  ZlibInflateEngine& operator=(const ZlibInflateEngine&) = delete;

  InflateStep Inflate(const unsigned char*& in, std::size_t& in_len, unsigned char*& out,
                      std::size_t& out_len) override {
    constexpr std::size_t kMost = std::numeric_limits<uInt>::max();
    const auto give_in = static_cast<uInt>(std::min(in_len, kMost));
    const auto give_out = static_cast<uInt>(std::min(out_len, kMost));
    // zlib does not write through next_in; the cast only satisfies its API.
    z_.next_in = const_cast<Bytef*>(in);
    z_.avail_in = give_in;
    z_.next_out = out;
    z_.avail_out = give_out;
    const int rc = inflate(&z_, Z_NO_FLUSH);
    in += give_in - z_.avail_in;
    in_len -= give_in - z_.avail_in;
    out += give_out - z_.avail_out;
    out_len -= give_out - z_.avail_out;
    switch (rc) {
      case Z_STREAM_END:
        return InflateStep::kEnd;
      case Z_OK:
        return InflateStep::kProgress;
      case Z_BUF_ERROR:  // no progress was possible
        return InflateStep::kStuck;
      case Z_NEED_DICT:
        throw ZlibError("the compressed stream needs a preset dictionary", StreamFault::kNeedsDictionary);
      case Z_DATA_ERROR:
        // zlib names a failed trailer check so; every other data error is damage.
        FailZlib("not a valid compressed stream", z_, rc,
                 z_.msg != nullptr && std::strcmp(z_.msg, "incorrect data check") == 0 ? StreamFault::kChecksum
                                                                                      : StreamFault::kDamaged);
      default:
        FailZlib("decompression failed", z_, rc);
    }
  }

  void Reset() override {
    const int rc = inflateReset(&z_);
    if (rc != Z_OK) FailZlib("cannot restart decompression", z_, rc);
  }

 private:
  z_stream z_{};
};

}  // namespace

std::unique_ptr<InflateEngine> NewZlibInflateEngine() { return std::make_unique<ZlibInflateEngine>(); }

std::unique_ptr<InflateEngine> NewInflateEngine() {
  std::unique_ptr<InflateEngine> fast = NewFastInflateEngine();
  return fast ? std::move(fast) : NewZlibInflateEngine();
}

InflateReader::InflateReader(InputFile& in) : InflateReader(in, NewInflateEngine()) {}

InflateReader::InflateReader(InputFile& in, std::unique_ptr<InflateEngine> engine)
    : in_(&in),
      read_([&in](void* out, std::size_t n) { return in.Read(out, n); }),
      engine_(std::move(engine)),
      buffer_(kInflateReadSize) {}

InflateReader::InflateReader(std::function<std::size_t(void*, std::size_t)> read)
    : read_(std::move(read)), engine_(NewInflateEngine()), buffer_(kInflateReadSize) {}

void InflateReader::Fill() {
  const std::size_t got = read_(buffer_.data(), buffer_.size());
  source_ended_ = got < buffer_.size();  // a short read happens only at the end of the file
  next_in_ = buffer_.data();
  avail_in_ = got;
}

std::size_t InflateReader::Read(void* out, std::size_t n) {
  auto* next = static_cast<unsigned char*>(out);
  std::size_t left = n;
  while (!complete_ && left > 0) {
    if (avail_in_ == 0 && !source_ended_) Fill();
    // The decoder is asked first and the end of the source judged only when
    // it cannot move: it may still hold input bits, a match to finish or the
    // trailer without needing another byte from the file.
    switch (engine_->Inflate(next_in_, avail_in_, next, left)) {
      case InflateStep::kEnd:
        complete_ = true;  // whatever is left in the buffer lies behind the stream
        break;
      case InflateStep::kProgress:
        break;
      case InflateStep::kStuck:
        if (avail_in_ == 0 && source_ended_) {
          throw ZlibError("the compressed stream ends early", StreamFault::kTruncated);
        }
        if (avail_in_ == 0) break;  // read on
        throw ZlibError("the compressed stream cannot be decoded", StreamFault::kFailure);
    }
  }
  return n - left;
}

void InflateReader::Rewind() {
  if (in_ == nullptr) throw ZlibError("a stream cannot be read again");
  in_->Seek(0);
  engine_->Reset();
  next_in_ = nullptr;
  avail_in_ = 0;
  source_ended_ = false;
  complete_ = false;
}

}  // namespace vesk::compress
