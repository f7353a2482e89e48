#include "platform/TerminalText.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

using namespace std::string_literals;

TEST(TerminalTextTest, NothingFromAServerCanDriveTheTerminal) {
  const std::string korean = "\xEC\x97\x85\xEB\x8D\xB0\xEC\x9D\xB4\xED\x8A\xB8";  // four three-byte characters
  const std::string japanese = "\xE6\x9B\xB4\xE6\x96\xB0\xE4\xB8\xAD";
  const struct {
    std::string text;
    std::string shown;
  } cases[] = {
      {"Data.SPF\x1b[2J\x1b[?25l\x1b[38;5;196mred\x1b[0m", "Data.SPFred"},  // CSI
      {"a\x1b]0;title\x07" "b\x1b]8;;http://x\x1b\\link\x1b]8;;\x1b\\", "ablink"},  // OSC ended by BEL or ST
      {"a\x1bPq#0;2;0;0;0", "a"},                                         // a control string never ended
      {"a\x1b" "c\x1b(Bb\x1b", "ab"},                                     // reset, character set, a lone ESC
      {"a\xC2\x9B" "31mb\xC2\x9D" "0;t\xC2\x9C" "c\xC2\x85", "abc"},     // the C1 forms
      {"a\bb\x07" "c\x7f"s + '\0' + "d\te", "abcd e"},                    // controls go, a tab is a blank
      {"one\r\ntwo\rthree\nfour", "one\ntwo\nthree\nfour"},               // a lone CR must not overwrite
      {korean + " " + japanese, korean + " " + japanese},
      {"\xFF\xC0\x80" "a\xE3\x81", "???a??"},                             // not UTF-8
  };
  for (const auto& c : cases) EXPECT_EQ(TerminalText(c.text), c.shown) << c.text;

  EXPECT_EQ(TerminalLine("one\r\ntwo\nthree\x1b[2K"), "one two three");
  EXPECT_EQ(TerminalLine(korean, 7), korean.substr(0, 6));  // a cut never splits a character
  EXPECT_EQ(TerminalLine("\x1b[31m" + korean, 6), korean.substr(0, 6));
}

}  // namespace
