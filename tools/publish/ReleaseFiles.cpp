#include "tools/publish/ReleaseFiles.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>

#include "patch/UpdateInfo.h"
#include "platform/AsciiText.h"
#include "platform/FileTimes.h"
#include "platform/Path.h"

std::optional<uint32_t> ReadPackTrailer(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  file.seekg(0, std::ios::end);
  if (!file || file.tellg() < 4) return std::nullopt;
  file.seekg(-4, std::ios::end);
  unsigned char bytes[4];
  if (!file.read(reinterpret_cast<char*>(bytes), 4)) return std::nullopt;
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

std::string PackDateText(const std::string& path) {
  const auto when = platform::LatestFileTime(path);
  return when ? platform::FormatLocalTime(*when, "[%Y-%m-%d][%H:%M:%S]") : std::string();
}

bool IsPackDateText(const std::string& text) {
  int fields[6];
  return std::sscanf(text.c_str(), "[%d-%d-%d][%d:%d:%d]", &fields[0], &fields[1], &fields[2], &fields[3],
                     &fields[4], &fields[5]) == 6;
}

std::optional<std::string> FileNameProblem(const std::string& name) {
  if (name.empty()) return "the name is empty";
  const std::string native = platform::ToNativePath(name);
  if (native[0] == '/' || (native.size() >= 2 && native[1] == ':')) return "\"" + name + "\" is an absolute name";
  if (!IsSafeInstallName(name)) return "\"" + name + "\" climbs out of the folder";
  size_t start = 0;
  while (start <= native.size()) {
    size_t end = native.find('/', start);
    if (end == std::string::npos) end = native.size();
    const std::string step = native.substr(start, end - start);
    if (step == "..") return "\"" + name + "\" climbs out of the folder";
    if (step.empty() || step == ".") return "\"" + name + "\" has an empty or \".\" step";
    start = end + 1;
  }
  return std::nullopt;
}

std::string ComparableName(const std::string& name) {
  return platform::AsciiLowered(platform::ToNativePath(name));
}

std::string FileBelow(const std::string& folder, const std::string& name) { return platform::JoinPath(folder, name); }
