#include "platform/FileTimes.h"

#include <algorithm>
#include <ctime>

#include "platform/win32/WideText.h"

namespace platform {

std::optional<int64_t> LatestFileTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  const uint64_t latest = std::max(FileTimeValue(data.ftLastWriteTime), FileTimeValue(data.ftCreationTime));
  constexpr int64_t kUnixEpochFileTime = 116444736000000000;
  return (static_cast<int64_t>(latest) - kUnixEpochFileTime) / 10000000;
}

std::string FormatLocalTime(int64_t seconds, const char* format) {
  const time_t when = static_cast<time_t>(seconds);
  struct tm local {};
  if (localtime_s(&local, &when) != 0) return {};
  char text[128];
  const size_t length = strftime(text, sizeof(text), format, &local);
  return std::string(text, length);
}

}  // namespace platform
