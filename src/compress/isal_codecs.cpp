// The fast codecs of ISA-L: its inflate for every stream, and its deflate
// for the fast level's blocks. The library is loaded when first needed, not
// linked: vesk-cli and the window start on a system without it, and decode
// with zlib there.
#include <dlfcn.h>
#include <isa-l/igzip_lib.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "compress/inflate_codecs.h"
#include "compress/zlib_error.h"

namespace vesk::compress {
namespace {

constexpr std::size_t kMost = std::numeric_limits<uint32_t>::max();

// The library's functions this file calls.
struct IsalApi {
  decltype(&isal_inflate_init) inflate_init;
  decltype(&isal_inflate) inflate;
  decltype(&isal_deflate_init) deflate_init;
  decltype(&isal_deflate_set_dict) deflate_set_dict;
  decltype(&isal_deflate) deflate;
  decltype(&isal_adler32) adler32;
};

// Null when the library cannot be loaded or lacks one of the functions.
const IsalApi* LoadIsal() {
  void* lib = ::dlopen(VESK_ISAL_SONAME, RTLD_NOW | RTLD_LOCAL);
  if (lib == nullptr) return nullptr;
  static IsalApi api{};
  auto find = [lib](const char* name) { return ::dlsym(lib, name); };
  api.inflate_init = reinterpret_cast<decltype(api.inflate_init)>(find("isal_inflate_init"));
  api.inflate = reinterpret_cast<decltype(api.inflate)>(find("isal_inflate"));
  api.deflate_init = reinterpret_cast<decltype(api.deflate_init)>(find("isal_deflate_init"));
  api.deflate_set_dict = reinterpret_cast<decltype(api.deflate_set_dict)>(find("isal_deflate_set_dict"));
  api.deflate = reinterpret_cast<decltype(api.deflate)>(find("isal_deflate"));
  api.adler32 = reinterpret_cast<decltype(api.adler32)>(find("isal_adler32"));
  if (!api.inflate_init || !api.inflate || !api.deflate_init || !api.deflate_set_dict || !api.deflate ||
      !api.adler32) {
    ::dlclose(lib);
    return nullptr;
  }
  return &api;  // loaded for the rest of the process
}

const IsalApi* Isal() {
  static const IsalApi* const api = LoadIsal();
  return api;
}

// The library checks the deflate data and the Adler-32 trailer; the two
// header bytes (and the dictionary id behind them) are judged here, exactly
// as zlib judges them, so that both decoders refuse the same headers the
// same way.
class IsalInflateEngine : public InflateEngine {
 public:
  explicit IsalInflateEngine(const IsalApi& isal) : isal_(isal), state_(std::make_unique<inflate_state>()) { Reset(); }

  InflateStep Inflate(const unsigned char*& in, std::size_t& in_len, unsigned char*& out,
                      std::size_t& out_len) override {
    const std::size_t in_before = in_len;
    if (header_len_ < header_need_) {
      ReadHeader(in, in_len);
      if (header_len_ < header_need_) return in_len < in_before ? InflateStep::kProgress : InflateStep::kStuck;
    }
    const auto give_in = static_cast<uint32_t>(std::min(in_len, kMost));
    const auto give_out = static_cast<uint32_t>(std::min(out_len, kMost));
    // The library does not write through next_in; the cast only satisfies its API.
    state_->next_in = const_cast<uint8_t*>(in);
    state_->avail_in = give_in;
    state_->next_out = out;
    state_->avail_out = give_out;
    const int rc = isal_.inflate(state_.get());
    in += give_in - state_->avail_in;
    in_len -= give_in - state_->avail_in;
    out += give_out - state_->avail_out;
    out_len -= give_out - state_->avail_out;
    if (rc == ISAL_INCORRECT_CHECKSUM) {
      throw ZlibError("not a valid compressed stream: incorrect data check", StreamFault::kChecksum);
    }
    if (rc < 0) throw ZlibError("not a valid compressed stream: damaged deflate data", StreamFault::kDamaged);
    if (state_->block_state == ISAL_BLOCK_FINISH) return InflateStep::kEnd;
    return in_len < in_before || state_->avail_out < give_out ? InflateStep::kProgress : InflateStep::kStuck;
  }

  void Reset() override {
    isal_.inflate_init(state_.get());
    state_->crc_flag = ISAL_ZLIB_NO_HDR_VER;  // raw deflate data, then the Adler-32 of the output checked
    state_->hist_bits = 0;                    // the whole 32 KiB window, as zlib allows any header's
    header_len_ = 0;
    header_need_ = 2;
  }

 private:
  void ReadHeader(const unsigned char*& in, std::size_t& in_len) {
    while (header_len_ < header_need_ && in_len > 0) {
      header_[header_len_++] = *in++;
      --in_len;
      if (header_len_ == 2) CheckHeader();
    }
    if (header_need_ == 6 && header_len_ == 6) {
      throw ZlibError("the compressed stream needs a preset dictionary", StreamFault::kNeedsDictionary);
    }
  }

  void CheckHeader() {
    const unsigned cmf = header_[0], flg = header_[1];
    if (((cmf << 8) | flg) % 31 != 0) {
      throw ZlibError("not a valid compressed stream: incorrect header check", StreamFault::kDamaged);
    }
    if ((cmf & 0x0F) != 8) {
      throw ZlibError("not a valid compressed stream: unknown compression method", StreamFault::kDamaged);
    }
    if ((cmf >> 4) + 8 > 15) {
      throw ZlibError("not a valid compressed stream: invalid window size", StreamFault::kDamaged);
    }
    if ((flg & 0x20) != 0) header_need_ = 6;  // a dictionary id follows, then the refusal
  }

  const IsalApi& isal_;
  std::unique_ptr<inflate_state> state_;
  unsigned char header_[6] = {};
  std::size_t header_len_ = 0;
  std::size_t header_need_ = 2;
};

// The library's levels 2 and 3 for zlib's fast level, chosen on a sample:
// the first kSample bytes of a block are deflated by zlib and by the
// library, and the block goes to level 2 when its sample comes out clearly
// smaller than zlib's, to level 3 when that one's is no larger, and to zlib
// otherwise (the parallel writer keeps a choice of level 2 for the three
// blocks after the sampled one). On text the library's levels write 4 to 5 % less than
// zlib's level 1 in a third of the time; on programs and other binary data
// about half of the blocks come out larger with the library, and zlib keeps
// those (the README's speed section has the figures).
class IsalBlockDeflater : public BlockDeflater {
 public:
  IsalBlockDeflater(const IsalApi& isal, std::unique_ptr<BlockDeflater> zlib)
      : isal_(isal),
        zlib_(std::move(zlib)),
        level_buf_(ISAL_DEF_LVL3_DEFAULT),  // enough for either level
        stream_(std::make_unique<isal_zstream>()) {}

  // The library's level (2 or 3), or 0 for zlib's.
  int Choose(const unsigned char* dict, std::size_t dict_len, const unsigned char* in, std::size_t in_len) override {
    const std::size_t sample = std::min(in_len, kSample);
    const std::size_t theirs = zlib_->Deflate(0, dict, dict_len, in, sample, false, scratch_);
    if (DeflateHere(2, dict, dict_len, in, sample, false, scratch_) * 100 <= theirs * kLevel2Percent) return 2;
    if (DeflateHere(3, dict, dict_len, in, sample, false, scratch_) <= theirs) return 3;
    return 0;
  }

  // Text, which the library deflates clearly smaller, keeps that for a few
  // blocks; on programs and other binary data zlib and the library take
  // turns, and every block is sampled.
  bool Lasting(int way) const override { return way == 2; }

  std::size_t Deflate(int way, const unsigned char* dict, std::size_t dict_len, const unsigned char* in,
                      std::size_t in_len, bool last, std::vector<unsigned char>& out) override {
    if (way == 0) return zlib_->Deflate(0, dict, dict_len, in, in_len, last, out);
    return DeflateHere(way, dict, dict_len, in, in_len, last, out);
  }

 private:
  static constexpr std::size_t kSample = 16384;
  static constexpr std::size_t kLevel2Percent = 97;

  std::size_t DeflateHere(int level, const unsigned char* dict, std::size_t dict_len, const unsigned char* in,
                          std::size_t in_len, bool last, std::vector<unsigned char>& out) {
    isal_zstream& s = *stream_;
    isal_.deflate_init(&s);
    s.level = static_cast<uint32_t>(level);
    s.level_buf = level_buf_.data();
    s.level_buf_size = static_cast<uint32_t>(level_buf_.size());
    s.gzip_flag = IGZIP_DEFLATE;  // raw deflate data: the zlib framing is the writer's
    s.hist_bits = 0;
    s.flush = last ? NO_FLUSH : SYNC_FLUSH;
    s.end_of_stream = last ? 1 : 0;
    // The library does not write through the dictionary or next_in; the casts only satisfy its API.
    if (dict_len > 0 &&
        isal_.deflate_set_dict(&s, const_cast<uint8_t*>(dict), static_cast<uint32_t>(dict_len)) != COMP_OK) {
      throw ZlibError("cannot set the compression dictionary");
    }
    // Incompressible data grows by a few bytes per stored block.
    const std::size_t guess = in_len + in_len / 64 + 1024;
    if (out.size() < guess) out.resize(guess);
    s.next_in = const_cast<uint8_t*>(in);
    s.avail_in = static_cast<uint32_t>(in_len);
    s.next_out = out.data();
    s.avail_out = static_cast<uint32_t>(std::min(out.size(), kMost));
    for (;;) {
      if (isal_.deflate(&s) != COMP_OK) throw ZlibError("compression failed");
      // The final block is complete at the end state; a sync flush once all
      // input is taken and the library waits to begin a new block.
      const bool done = last ? s.internal_state.state == ZSTATE_END
                             : s.avail_in == 0 && s.internal_state.state == ZSTATE_NEW_HDR && s.avail_out > 0;
      if (done) break;
      if (s.avail_out == 0) {
        const std::size_t used = out.size();
        out.resize(used * 2);
        s.next_out = out.data() + used;
        s.avail_out = static_cast<uint32_t>(std::min(out.size() - used, kMost));
      }
    }
    return s.total_out;
  }

  const IsalApi& isal_;
  std::unique_ptr<BlockDeflater> zlib_;
  std::vector<unsigned char> scratch_;  // the samples' output
  std::vector<uint8_t> level_buf_;
  std::unique_ptr<isal_zstream> stream_;
};

}  // namespace

std::unique_ptr<InflateEngine> NewFastInflateEngine() {
  const IsalApi* isal = Isal();
  return isal != nullptr ? std::make_unique<IsalInflateEngine>(*isal) : nullptr;
}

std::unique_ptr<BlockDeflater> ChooseBlockDeflater(int level, std::unique_ptr<BlockDeflater> zlib) {
  // zlib's fast level only: zlib's normal and maximum levels write less than
  // any of the library's levels (the README's speed section has the sizes).
  const IsalApi* isal = Isal();
  if (level == 1 && isal != nullptr) return std::make_unique<IsalBlockDeflater>(*isal, std::move(zlib));
  return zlib;
}

uint32_t Adler32(const unsigned char* data, std::size_t n) {
  // The library's is vectorised; zlib's takes a tenth of the fast level's time.
  const IsalApi* isal = Isal();
  if (isal != nullptr) return isal->adler32(1, data, n);
  return static_cast<uint32_t>(adler32_z(1, data, n));
}

const char* CodecsName() {
  return Isal() != nullptr ? "ISA-L inflate, ISA-L deflate for the fast level, zlib for the rest"
                           : "zlib (" VESK_ISAL_SONAME " cannot be loaded)";
}

}  // namespace vesk::compress
