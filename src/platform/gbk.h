// Conversion between native UTF-8 text and code page 936 (GBK) bytes.
// Key texts, stored extensions and the container marker are GBK bytes; paths
// and messages stay UTF-8 in memory and are converted only at that boundary.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vesk {

// Encodes UTF-8 text as GBK. A character that GBK cannot hold (or a byte that
// is not valid UTF-8) becomes "?".
std::string Utf8ToGbk(std::string_view utf8);

// Encodes UTF-8 text as GBK, or nothing when any character cannot be held
// (or the text is not valid UTF-8). For texts that must not change meaning:
// keys and stored extensions.
std::optional<std::string> Utf8ToGbkStrict(std::string_view utf8);

// Decodes GBK bytes to UTF-8. An invalid or incomplete sequence becomes "?".
std::string GbkToUtf8(std::string_view gbk);

// Number of GBK bytes that the UTF-8 text takes.
inline std::size_t GbkLength(std::string_view utf8) { return Utf8ToGbk(utf8).size(); }

}  // namespace vesk
