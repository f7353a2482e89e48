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
  // Without MB_ERR_INVALID_CHARS an undefined sequence becomes the code page's default
  // character, U+FFFD for the double-byte ones, and the conversion goes on after it.
  const int size = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
  if (length <= 0) return std::nullopt;
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), length);
  return Narrow(wide);
}

}  // namespace platform
