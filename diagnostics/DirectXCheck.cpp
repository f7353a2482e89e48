#include "diagnostics/DirectXCheck.h"

#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <string_view>

#include "diagnostics/MessageText.h"
#include "patch/FileVersion.h"
#include "patch/PatchEngine.h"
#include "platform/AsciiText.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "platform/WindowsProgram.h"
#include "window/Catalogue.h"
#include "window/MessageIds.h"

namespace {

struct Version {
  uint32_t major = 0, minor = 0;
  char letter = ' ';
};

// --- The registry: system.reg of the prefix -----------------------------------------------

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
              platform::EqualsIgnoringCase(std::string_view(line).substr(1, kDirectXKey.size()), kDirectXKey);
      continue;
    }
    constexpr std::string_view kName = "\"Version\"=\"";
    if (!inKey || line.size() <= kName.size() ||
        !platform::EqualsIgnoringCase(std::string_view(line).substr(0, kName.size()), kName))
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

std::optional<Version> ParseReleaseNumber(const Dotted& dotted) {
  if (dotted.count != 4 || dotted.numbers[0] != 4 || !dotted.rest.empty()) return std::nullopt;
  const uint32_t field = dotted.numbers[1], subField = dotted.numbers[2], build = dotted.numbers[3];
  if (field < 2 || field > 99) return std::nullopt;
  Version version;
  // Releases 1 to 3 were numbered 4.02 to 4.04; 5.2 and 6.1 carry their minor number in a
  // sub-field of their own (4.05.01, 4.06.02 and 4.06.03).
  version.major = field <= 4 ? field - 1 : field;
  version.minor = field <= 4 ? 0 : field == 5 ? (subField >= 1 ? 2 : 0) : field == 6 ? (subField >= 2 ? 1 : 0) : subField;
  for (const LetteredRelease& release : kLetteredReleases)
    if (release.field == field && release.subField == subField && release.build == build) version.letter = release.letter;
  return version;
}

std::optional<Version> ParseShortForm(const Dotted& dotted) {
  if (dotted.count != 2) return std::nullopt;
  if (dotted.rest.size() > 1 || (dotted.rest.size() == 1 && !std::isalpha(static_cast<unsigned char>(dotted.rest[0]))))
    return std::nullopt;
  return Version{dotted.numbers[0], dotted.numbers[1], dotted.rest.empty() ? ' ' : dotted.rest[0]};
}

// --- The file table over system32 ---------------------------------------------------------

constexpr uint64_t FileVersionOf(uint64_t a, uint64_t b, uint64_t c, uint64_t d) {
  return a << 48 | b << 32 | c << 16 | d;
}

struct FileRow {
  const char* file;
  uint64_t atLeast;     // a plain minimum; 0 = any readable version
  uint64_t atLeastV5;   // for rows that also accept a 5.x file: its minimum; 0 = no such form
  Version result;
};

// In the order of their check: the last row that passes gives the version.
constexpr FileRow kFileRows[] = {
    {"ddraw.dll", FileVersionOf(4, 2, 0, 95), 0, {1, 0, ' '}},
    {"ddraw.dll", FileVersionOf(4, 3, 0, 1096), 0, {2, 0, ' '}},
    {"ddraw.dll", FileVersionOf(4, 4, 0, 68), 0, {3, 0, ' '}},
    {"d3drg8x.dll", FileVersionOf(4, 4, 0, 70), 0, {3, 0, 'a'}},
    {"ddraw.dll", FileVersionOf(4, 5, 0, 155), 0, {5, 0, ' '}},
    {"ddraw.dll", FileVersionOf(4, 6, 0, 318), 0, {6, 0, ' '}},
    {"ddraw.dll", FileVersionOf(4, 6, 0, 436), 0, {6, 1, ' '}},
    {"dplayx.dll", FileVersionOf(4, 6, 3, 518), 0, {6, 1, 'a'}},
    {"ddraw.dll", FileVersionOf(4, 7, 0, 700), 0, {7, 0, ' '}},
    {"dinput.dll", FileVersionOf(4, 7, 0, 716), 0, {7, 0, 'a'}},
    {"ddraw.dll", FileVersionOf(4, 8, 0, 400), FileVersionOf(5, 1, 2258, 400), {8, 0, ' '}},
    {"d3d8.dll", FileVersionOf(4, 8, 1, 881), FileVersionOf(5, 1, 2600, 881), {8, 1, ' '}},
    {"d3d8.dll", FileVersionOf(4, 8, 1, 901), FileVersionOf(5, 1, 2600, 901), {8, 1, 'a'}},
    {"mpg2splt.ax", FileVersionOf(6, 3, 1, 885), 0, {8, 1, 'b'}},
    {"dpnet.dll", FileVersionOf(4, 9, 0, 134), FileVersionOf(5, 2, 3677, 134), {8, 2, ' '}},
    {"d3d9.dll", 0, 0, {9, 0, ' '}},
};

bool RowPasses(const FileRow& row, uint64_t version) {
  if (row.atLeast == 0) return true;
  if (row.atLeastV5 == 0) return version >= row.atLeast;
  const uint64_t a = version >> 48;
  return (a == 4 && version >= row.atLeast) || (a == 5 && version >= row.atLeastV5);
}

std::string SystemFolder() {
  const std::string prefix = platform::WinePrefix();
  if (prefix.empty()) return {};
  return platform::ResolvePath(platform::JoinPath(prefix, "drive_c/windows/system32"));
}

}  // namespace

uint32_t PackDirectXVersion(uint32_t major, uint32_t minor, char letter) {
  const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
  const uint32_t place = lower >= 'a' && lower <= 'z' ? static_cast<uint32_t>(lower - 'a' + 1) : 0;
  return (major << 16) | ((minor & 0xff) << 8) | place;
}

std::string DirectXVersionText(uint32_t major, uint32_t minor, char letter) {
  char text[10];
  const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
  if (letter == ' ')
    std::snprintf(text, sizeof(text), "%u.%u", major, minor);
  else
    std::snprintf(text, sizeof(text), "%u.%u%c", major, minor, lower);
  return text;
}

DirectXStatus GetDirectXVersionViaDxDiag(uint32_t& major, uint32_t& minor, char& letter) {
  const std::string prefix = platform::WinePrefix();
  if (prefix.empty()) return DirectXStatus::kNotFound;
  const std::optional<std::string> value =
      RegistryVersionValue(platform::ResolvePath(platform::JoinPath(prefix, "system.reg")));
  if (!value) return DirectXStatus::kNotFound;
  const Dotted dotted = SplitDotted(*value);
  std::optional<Version> version = ParseReleaseNumber(dotted);
  if (!version) version = ParseShortForm(dotted);
  if (!version) return DirectXStatus::kNotFound;
  major = version->major;
  minor = version->minor;
  letter = version->letter;
  return DirectXStatus::kOk;
}

DirectXStatus GetDirectXVersionViaFileVersions(uint32_t& major, uint32_t& minor, char& letter) {
  Version found;
  const std::string folder = SystemFolder();
  if (!folder.empty() && platform::IsDirectory(folder)) {
    for (const FileRow& row : kFileRows) {
      uint64_t version = 0;
      const std::string path = platform::ResolvePath(platform::JoinPath(folder, row.file));
      if (GetFileVersion(path, version) == DirectXStatus::kOk && RowPasses(row, version)) found = row.result;
    }
  }
  major = found.major;
  minor = found.minor;
  letter = found.letter;
  return DirectXStatus::kOk;
}

DirectXStatus GetFileVersion(const std::string& path, uint64_t& version) {
  if (path.empty()) return DirectXStatus::kInvalidArgument;
  const std::optional<VersionWords> words = ReadVersionWords(path);
  if (!words) return DirectXStatus::kNotFound;
  version = static_cast<uint64_t>(words->high) << 32 | words->low;
  return DirectXStatus::kOk;
}

DirectXStatus GetDirectXVersion(uint32_t* packed, char* text, size_t textSize) {
  if (packed) *packed = 0;
  if (text && textSize > 0) *text = '\0';
  uint32_t major = 0, minor = 0;
  char letter = ' ';
  if (GetDirectXVersionViaDxDiag(major, minor, letter) != DirectXStatus::kOk &&
      GetDirectXVersionViaFileVersions(major, minor, letter) != DirectXStatus::kOk)
    return DirectXStatus::kNotFound;
  if (packed) *packed = PackDirectXVersion(major, minor, letter);
  if (text && textSize > 0) std::snprintf(text, textSize, "%s", DirectXVersionText(major, minor, letter).c_str());
  return DirectXStatus::kOk;
}

DirectXVerdict CheckDirectXFor(const std::string& clientPath, uint16_t languageId) {
  if (!platform::IsWindowsProgram(clientPath)) return {true, {}};
  uint32_t packed = 0;
  char text[10];
  if (GetDirectXVersion(&packed, text, sizeof(text)) != DirectXStatus::kOk) return {false, {}};
  if (packed >= kRequiredDirectX) return {true, {}};
  return {false, FillPlaceholders(DiagnosticText(languageId, kMessageDirectXOld), {text, kRequiredDirectXText})};
}

void CheckDirectX(PatchEngine& engine) {
  const std::string client = platform::ResolvePath(platform::JoinPath(engine.LauncherDir(), "SolaneClient.exe"));
  const DirectXVerdict verdict = CheckDirectXFor(client, CatalogueLanguageForLocale(engine.GetLocale()));
  engine.SetDirectXResult(verdict.ok, verdict.warning);
}
