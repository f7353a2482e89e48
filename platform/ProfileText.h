#pragma once
// The text of a private-profile (INI) file, read and edited in memory without touching any other
// byte of it. ProfileFile does the file work; these pure functions are what the fuzzer drives.
//
// Form: "[section]" lines and "key=value" lines, sections and keys matched ignoring ASCII case,
// lines starting with ";" are comments, lines end in CR LF or LF, a leading UTF-8 byte order
// mark is skipped. The first key of that name in any section of that name is the one read and
// the one changed.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The value of section/key with the blanks around it and one pair of surrounding quotes (double
// or single) removed; none when the section or the key is absent.
std::optional<std::string> FindProfileValue(std::string_view text, std::string_view section,
                                            std::string_view key);

// The lines that mean something, as the reads see them, for a caller that checks a file: the
// line number (from 1), a section header's name, or an entry's key and value (as
// FindProfileValue gives it); a line that is neither (no "=", an unclosed "[") is Other.
struct ProfileLine {
  enum class Kind { Section, Entry, Other };
  Kind kind;
  size_t number;
  std::string name;
  std::string value;
};
std::vector<ProfileLine> ListProfileLines(std::string_view text);

// Section and key are compared after trimming their blanks, in the file and in these calls alike.

// True when section, key and value can be written without changing the meaning of other lines
// and read back: no line breaks or NUL anywhere, no "]" in the section, and a key that is not
// blank, holds no "=" and does not start with ";" or "[".
bool IsWritableProfileEntry(std::string_view section, std::string_view key, std::string_view value);

// `text` with section/key set to `value`: the existing line keeps everything up to and including
// the "=" and the blanks after it (unless `value` brings blanks of its own); a new key goes after the last entry of its section; a new
// section goes at the end. New lines use the text's own line ending, CR LF for a text without
// any. Every other byte is kept. The entry must satisfy IsWritableProfileEntry.
std::string SetProfileValue(std::string_view text, std::string_view section, std::string_view key,
                            std::string_view value);

}  // namespace platform
