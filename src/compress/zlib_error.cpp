#include "compress/zlib_error.h"

#include <string>

namespace vesk::compress {

void FailZlib(const char* what, const z_stream& z, int code, StreamFault fault) {
  std::string text = what;
  text += ": ";
  text += z.msg != nullptr ? z.msg : zError(code);
  throw ZlibError(text, fault);
}

}  // namespace vesk::compress
