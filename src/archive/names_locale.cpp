#include "archive/names_locale.h"

#include <initializer_list>

namespace vesk::archive {

Utf8Names::Utf8Names() {
  for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
    utf8_ = ::newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(nullptr));
    if (utf8_ != nullptr) break;
  }
  if (utf8_ != nullptr) previous_ = ::uselocale(utf8_);
}

Utf8Names::~Utf8Names() {
  if (utf8_ == nullptr) return;
  ::uselocale(previous_);
  ::freelocale(utf8_);
}

}  // namespace vesk::archive
