#pragma once
// Text from outside (a server's message, a file name) made safe to print on a terminal: nothing
// in it can move the cursor, change colours, set the window title, reset the terminal or
// overwrite what was printed before.

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// `text` without escape sequences (ESC and CSI sequences, OSC, DCS and other control strings,
// their C1 forms included), control characters and DEL. A tab becomes a blank; CR LF, LF and a
// lone CR become one LF. Well-formed UTF-8 passes unchanged; a byte that is not part of it
// becomes "?".
std::string TerminalText(std::string_view text);

// TerminalText on one line: each line break becomes a blank, and at most `maxBytes` bytes are
// kept without cutting a UTF-8 character.
std::string TerminalLine(std::string_view text, size_t maxBytes = std::string::npos);

}  // namespace platform
