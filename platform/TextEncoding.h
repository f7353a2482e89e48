#pragma once
// Text encodings: telling UTF-8 apart and converting legacy code-page text into UTF-8, the
// encoding in which the launcher holds its texts.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// True when `text` is well-formed UTF-8 (no overlong forms, no surrogates, nothing above
// U+10FFFF). Plain ASCII is.
bool IsValidUtf8(std::string_view text);

// The length in bytes of the well-formed UTF-8 character that `text` starts with (1 for ASCII);
// 0 when it starts with a malformed or cut-off sequence, or is empty.
size_t Utf8CharacterLength(std::string_view text);

// `text` converted from the named encoding ("CP949", "CP1252"...) into UTF-8. A byte sequence
// that the encoding does not define becomes U+FFFD and the conversion goes on after it.
// Nothing when the encoding is unknown to the system.
std::optional<std::string> ConvertToUtf8(std::string_view text, const char* encodingName);

}  // namespace platform
