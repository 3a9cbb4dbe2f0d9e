// libarchive converts entry names between the stored UTF-8 and the
// "current" character set, which it takes from the locale. A program started
// in the C locale would then store a Chinese name as question marks, or fail
// to read one back. For the life of this guard the calling thread runs in a
// UTF-8 locale, so names on disk (bytes, which are UTF-8 here) go into the
// archive unchanged, and a name that is no valid UTF-8 (GBK bytes, say) is
// stored byte for byte, marked as binary.
#pragma once

#include <locale.h>

namespace vesk::archive {

class Utf8Names {
 public:
  Utf8Names();
  ~Utf8Names();
  Utf8Names(const Utf8Names&) = delete;
  Utf8Names& operator=(const Utf8Names&) = delete;

 private:
  locale_t utf8_ = nullptr;
  locale_t previous_ = nullptr;
};

}  // namespace vesk::archive
