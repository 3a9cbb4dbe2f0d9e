#include "platform/gbk.h"

#include <iconv.h>

#include <cerrno>
#include <optional>
#include <stdexcept>

namespace vesk {
namespace {

// Length of the UTF-8 sequence that starts with byte b (1 for a stray byte).
std::size_t Utf8SequenceLength(unsigned char b) {
  if (b >= 0xF0 && b <= 0xF4) return 4;
  if (b >= 0xE0) return b <= 0xEF ? 3 : 1;
  if (b >= 0xC2 && b <= 0xDF) return 2;
  return 1;
}

// Length of the GBK sequence that starts with byte b.
std::size_t GbkSequenceLength(unsigned char b) { return (b >= 0x81 && b <= 0xFE) ? 2 : 1; }

class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
      throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
    }
  }
  ~Converter() { iconv_close(cd_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts `in`; a sequence that cannot be converted is replaced by "?" and
  // skipped by the length that `skip` gives for its first byte. Without
  // `skip`, such a sequence fails the whole conversion.
  std::optional<std::string> Run(std::string_view in, std::size_t (*skip)(unsigned char)) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    std::string out;
    out.reserve(in.size() * 2 + 4);
    char buf[512];
    char* src = const_cast<char*>(in.data());
    std::size_t left = in.size();
    while (left > 0) {
      char* dst = buf;
      std::size_t room = sizeof buf;
      std::size_t rc = iconv(cd_, &src, &left, &dst, &room);
      out.append(buf, static_cast<std::size_t>(dst - buf));
      if (rc != static_cast<std::size_t>(-1)) continue;
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL: an unconvertible or incomplete sequence.
      if (skip == nullptr) return std::nullopt;
      std::size_t n = skip(static_cast<unsigned char>(*src));
      if (n > left) n = left;
      src += n;
      left -= n;
      out.push_back('?');
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
  }

 private:
  iconv_t cd_;
};

}  // namespace

std::string Utf8ToGbk(std::string_view utf8) {
  thread_local Converter conv("GBK", "UTF-8");
  return *conv.Run(utf8, Utf8SequenceLength);
}

std::optional<std::string> Utf8ToGbkStrict(std::string_view utf8) {
  thread_local Converter conv("GBK", "UTF-8");
  return conv.Run(utf8, nullptr);
}

std::string GbkToUtf8(std::string_view gbk) {
  thread_local Converter conv("UTF-8", "GBK");
  return *conv.Run(gbk, GbkSequenceLength);
}

}  // namespace vesk
