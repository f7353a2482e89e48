#include "platform/DirectXVersion.h"

#include <array>
#include <cctype>
#include <fstream>
#include <string_view>

#include "platform/AsciiText.h"
#include "platform/Path.h"
#include "platform/WindowsProgram.h"

namespace platform {
namespace {

// The version that the prefix's system.reg records under Software\\Microsoft\\DirectX "Version":
// a release number as Wine and the DirectX installer write it ("4.09.00.0904" is 9.0c) or the
// short form ("9.0c", any letter case).

// system.reg writes key names with doubled backslashes: [Software\\Microsoft\\DirectX] 1700000000
constexpr std::string_view kDirectXKey = "Software\\\\Microsoft\\\\DirectX";

std::optional<std::string> RegistryVersionValue(const std::string& systemReg) {
  std::ifstream in(systemReg, std::ios::binary);
  if (!in) return std::nullopt;
  std::string line;
  bool inKey = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.front() == '[') {
      const size_t end = line.find(']');
      inKey = end == kDirectXKey.size() + 1 &&
              EqualsIgnoringCase(std::string_view(line).substr(1, kDirectXKey.size()), kDirectXKey);
      continue;
    }
    constexpr std::string_view kName = "\"Version\"=\"";
    if (!inKey || line.size() <= kName.size() ||
        !EqualsIgnoringCase(std::string_view(line).substr(0, kName.size()), kName))
      continue;
    const size_t close = line.find('"', kName.size());
    if (close == std::string::npos) return std::nullopt;
    return line.substr(kName.size(), close - kName.size());
  }
  return std::nullopt;
}

// Up to four dot-separated decimal numbers and what follows the last one.
struct Dotted {
  std::array<uint32_t, 4> numbers{};
  int count = 0;
  std::string_view rest;
};

Dotted SplitDotted(std::string_view text) {
  Dotted dotted;
  size_t i = 0;
  while (dotted.count < 4 && i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
    uint32_t value = 0;
    size_t digits = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) && digits < 6; ++i, ++digits)
      value = value * 10 + static_cast<uint32_t>(text[i] - '0');
    dotted.numbers[dotted.count++] = value;
    if (i < text.size() && text[i] == '.' && dotted.count < 4) ++i;
    else break;
  }
  dotted.rest = text.substr(i);
  return dotted;
}

// The letters of the release numbers that carry one (minor fields as the releases wrote them).
struct LetteredRelease {
  uint32_t field, subField, build;
  char letter;
};
constexpr LetteredRelease kLetteredReleases[] = {
    {9, 0, 901, 'a'}, {9, 0, 902, 'b'}, {9, 0, 903, 'c'}, {9, 0, 904, 'c'},
    {8, 1, 901, 'a'}, {7, 0, 716, 'a'}, {6, 3, 518, 'a'}, {4, 0, 70, 'a'}};

std::optional<DirectXRelease> ParseReleaseNumber(const Dotted& dotted) {
  if (dotted.count != 4 || dotted.numbers[0] != 4 || !dotted.rest.empty()) return std::nullopt;
  const uint32_t field = dotted.numbers[1], subField = dotted.numbers[2], build = dotted.numbers[3];
  if (field < 2 || field > 99) return std::nullopt;
  DirectXRelease version;
  // Releases 1 to 3 were numbered 4.02 to 4.04; 5.2 and 6.1 carry their minor number in a
  // sub-field of their own (4.05.01, 4.06.02 and 4.06.03).
  version.major = field <= 4 ? field - 1 : field;
  version.minor = field <= 4 ? 0 : field == 5 ? (subField >= 1 ? 2 : 0) : field == 6 ? (subField >= 2 ? 1 : 0) : subField;
  for (const LetteredRelease& release : kLetteredReleases)
    if (release.field == field && release.subField == subField && release.build == build) version.letter = release.letter;
  return version;
}

std::optional<DirectXRelease> ParseShortForm(const Dotted& dotted) {
  if (dotted.count != 2) return std::nullopt;
  if (dotted.rest.size() > 1 || (dotted.rest.size() == 1 && !std::isalpha(static_cast<unsigned char>(dotted.rest[0]))))
    return std::nullopt;
  return DirectXRelease{dotted.numbers[0], dotted.numbers[1], dotted.rest.empty() ? ' ' : dotted.rest[0]};
}

}  // namespace

std::optional<DirectXRelease> ReportedDirectXVersion() {
  const std::string prefix = WinePrefix();
  if (prefix.empty()) return std::nullopt;
  const std::optional<std::string> value = RegistryVersionValue(ResolvePath(JoinPath(prefix, "system.reg")));
  if (!value) return std::nullopt;
  const Dotted dotted = SplitDotted(*value);
  std::optional<DirectXRelease> version = ParseReleaseNumber(dotted);
  if (!version) version = ParseShortForm(dotted);
  return version;
}

std::string DirectXSystemFolder() {
  const std::string prefix = WinePrefix();
  if (prefix.empty()) return {};
  return ResolvePath(JoinPath(prefix, "drive_c/windows/system32"));
}

}  // namespace platform
