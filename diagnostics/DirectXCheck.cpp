#include "diagnostics/DirectXCheck.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <optional>

#include "diagnostics/MessageText.h"
#include "patch/FileVersion.h"
#include "platform/DirectXVersion.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "platform/WindowsProgram.h"
#include "window/MessageIds.h"

namespace {

using Version = platform::DirectXRelease;

// --- The file table over the system folder -----------------------------------------------

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
  const std::optional<Version> version = platform::ReportedDirectXVersion();
  if (!version) return DirectXStatus::kNotFound;
  major = version->major;
  minor = version->minor;
  letter = version->letter;
  return DirectXStatus::kOk;
}

DirectXStatus GetDirectXVersionViaFileVersions(uint32_t& major, uint32_t& minor, char& letter) {
  Version found;
  const std::string folder = platform::DirectXSystemFolder();
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
