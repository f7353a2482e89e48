// Reads and edits arbitrary profile text. Input: text NUL section NUL key NUL value NUL
// other-section NUL other-key (missing parts are empty). The line listing must find what the
// reads find; an edit must read back, must not change what any other key reads, and repeating
// it must change nothing.

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ProfileFile.h"
#include "platform/ProfileText.h"

namespace {

std::vector<std::string_view> SplitAtNul(std::string_view input, size_t parts) {
  std::vector<std::string_view> result;
  while (result.size() + 1 < parts) {
    size_t nul = input.find('\0');
    if (nul == std::string_view::npos) break;
    result.push_back(input.substr(0, nul));
    input.remove_prefix(nul + 1);
  }
  result.push_back(input);
  result.resize(parts);
  return result;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool SameName(std::string_view a, std::string_view b) {
  a = Trim(a);
  b = Trim(b);
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> parts = SplitAtNul(input, 6);
  std::string_view text = parts[0], section = parts[1], key = parts[2], value = parts[3];
  std::string_view otherSection = parts[4], otherKey = parts[5];

  // The first entry of that key in a section of that name, as the listing shows the lines.
  std::optional<std::string> listed;
  bool inSection = false;
  for (const platform::ProfileLine& line : platform::ListProfileLines(text)) {
    if (line.kind == platform::ProfileLine::Kind::Section)
      inSection = SameName(line.name, section);
    else if (!listed && inSection && line.kind == platform::ProfileLine::Kind::Entry && SameName(line.name, key))
      listed = line.value;
  }
  Check(listed == platform::FindProfileValue(text, section, key));
  platform::DecodeProfileStruct(value, value.size() / 2);
  if (!platform::IsWritableProfileEntry(section, key, value)) return 0;

  std::string edited = platform::SetProfileValue(text, section, key, value);
  std::string expected = "[s]\nk=" + std::string(value);
  Check(platform::FindProfileValue(edited, section, key) == platform::FindProfileValue(expected, "s", "k"));
  if (!(SameName(section, otherSection) && SameName(key, otherKey)))
    Check(platform::FindProfileValue(edited, otherSection, otherKey) ==
          platform::FindProfileValue(text, otherSection, otherKey));
  Check(platform::SetProfileValue(edited, section, key, value) == edited);
  return 0;
}
