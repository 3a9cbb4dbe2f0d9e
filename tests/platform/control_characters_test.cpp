// Names from inside files, made safe for file names and for messages.
#include "platform/control_characters.h"

#include <gtest/gtest.h>

namespace vesk {
namespace {

TEST(ControlCharacters, EveryKindIsReplacedInNamesAndEscapedInMessages) {
  struct Case {
    std::string text, name, shown;
  };
  const Case cases[] = {
      {"plain.jmz", "plain.jmz", "plain.jmz"},
      {"中文 名字.jmz", "中文 名字.jmz", "中文 名字.jmz"},
      {std::string("a\0b", 3), "a_b", "a\\x00b"},
      {"tab\there", "tab_here", "tab\\x09here"},
      {"\x1B[2J\x07", "_[2J_", "\\x1B[2J\\x07"},
      {"del\x7F", "del_", "del\\x7F"},
      // C1 controls: U+009B is a one-character CSI to some terminals.
      {"x\xC2\x9B" "31m", "x_31m", "x\\x9B31m"},
      {"\xC2\x85next", "_next", "\\x85next"},
      // Line and paragraph separators, a right-to-left override, an isolate.
      {"a\xE2\x80\xA8" "b\xE2\x80\xA9", "a_b_", "a\\u2028b\\u2029"},
      {"txt.\xE2\x80\xAE" "exe.jmz", "txt._exe.jmz", "txt.\\u202Eexe.jmz"},
      {"\xE2\x81\xA6x\xE2\x81\xA9", "_x_", "\\u2066x\\u2069"},
      // Bytes that are no UTF-8: a stray continuation, a cut sequence, an
      // overlong "/".
      {"a\x80z", "a_z", "a\\x80z"},
      {"end\xE4\xB8", "end__", "end\\xE4\\xB8"},
      {"\xC0\xAF", "__", "\\xC0\\xAF"},
      // Neighbours of the controls stay.
      {"\xC2\xA0\xE2\x80\xA7\xE2\x80\xAF", "\xC2\xA0\xE2\x80\xA7\xE2\x80\xAF", "\xC2\xA0\xE2\x80\xA7\xE2\x80\xAF"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shown);
    EXPECT_EQ(ReplaceControlCharacters(c.text), c.name);
    EXPECT_EQ(EscapeControlCharacters(c.text), c.shown);
  }
  EXPECT_EQ(ReplaceControlCharacters("a\nb", "?"), "a?b");
}

}  // namespace
}  // namespace vesk
