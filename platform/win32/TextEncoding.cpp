#include "platform/TextEncoding.h"

#include <cstdlib>
#include <cstring>

#include "platform/win32/WideText.h"

namespace platform {

namespace {

// "CP949", "cp1252", "windows-1252" name a code page by its number.
UINT CodePageOf(const char* encodingName) {
  const char* digits = encodingName;
  if (_strnicmp(digits, "cp", 2) == 0)
    digits += 2;
  else if (_strnicmp(digits, "windows-", 8) == 0)
    digits += 8;
  else
    return 0;
  char* end = nullptr;
  const unsigned long number = std::strtoul(digits, &end, 10);
  if (end == digits || *end != '\0' || number == 0 || number > 65535) return 0;
  CPINFO information;
  return GetCPInfo(static_cast<UINT>(number), &information) ? static_cast<UINT>(number) : 0;
}

}  // namespace

std::optional<std::string> ConvertToUtf8(std::string_view text, const char* encodingName) {
  const UINT codePage = CodePageOf(encodingName);
  if (codePage == 0) return std::nullopt;
  if (text.empty()) return std::string();
  const int size = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (length > 0) {
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), length);
    return Narrow(wide);
  }
  // Some sequence is undefined: character by character, it becomes U+FFFD and the conversion
  // resumes at the next byte. Left to itself the system would put the code page's default
  // character, "?" on some systems, and a cut-off double-byte character at the end may vanish.
  std::wstring wide;
  for (size_t at = 0; at < text.size();) {
    const size_t bytes = at + 1 < text.size() && IsDBCSLeadByteEx(codePage, static_cast<BYTE>(text[at])) ? 2 : 1;
    wchar_t converted[2];
    const int got = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data() + at, static_cast<int>(bytes),
                                        converted, 2);
    if (got > 0) {
      wide.append(converted, static_cast<size_t>(got));
      at += bytes;
    } else {
      wide += L'\xfffd';
      ++at;
    }
  }
  return Narrow(wide);
}

}  // namespace platform
