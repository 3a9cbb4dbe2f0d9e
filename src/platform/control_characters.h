// Names that come from inside a file (the name a self-decrypting file
// stores for its payload) are data, not text to hand to a terminal or a
// file system as they stand: an ESC or BEL in them would drive the terminal
// that shows them, a line break would split one path into two lines.
//
// Control characters here are the C0 controls (U+0000..U+001F), DEL, the C1
// controls (U+0080..U+009F), the line and paragraph separators and the
// bidirectional embeddings, overrides and isolates, which can make a name
// read differently from what it is. A byte that is not valid UTF-8 counts
// as one as well.
#pragma once

#include <string>
#include <string_view>

namespace vesk {

// `utf8` with each control character replaced by `replacement`: for the
// names of files made from such a name.
std::string ReplaceControlCharacters(std::string_view utf8, std::string_view replacement = "_");

// `utf8` with each control character written out as an escape: "\xHH" for
// a byte or a character below U+0100, "\uHHHH" above. For messages.
std::string EscapeControlCharacters(std::string_view utf8);

}  // namespace vesk
