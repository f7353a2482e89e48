#pragma once
// Letter case of names the launcher compares as Windows would: file names, registry keys and
// values, hexadecimal digests. Only ASCII letters fold; other bytes compare as they are.

#include <algorithm>
#include <string>
#include <string_view>

namespace platform {

inline char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::string AsciiLowered(std::string_view text) {
  std::string lowered(text);
  std::transform(lowered.begin(), lowered.end(), lowered.begin(), AsciiLower);
  return lowered;
}

inline bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

inline bool ContainsIgnoringCase(std::string_view text, std::string_view part) {
  return std::search(text.begin(), text.end(), part.begin(), part.end(),
                     [](char x, char y) { return AsciiLower(x) == AsciiLower(y); }) != text.end();
}

}  // namespace platform
