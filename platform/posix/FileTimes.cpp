#include "platform/FileTimes.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <ctime>

namespace platform {

std::optional<int64_t> LatestFileTime(const std::string& path) {
  struct statx info {};
  if (statx(AT_FDCWD, path.c_str(), 0, STATX_MTIME | STATX_CTIME | STATX_BTIME, &info) != 0) return std::nullopt;
  const int64_t modified = info.stx_mtime.tv_sec;
  // Not every file system records a birth time; the status change time stands in for it then.
  const int64_t created = (info.stx_mask & STATX_BTIME) ? info.stx_btime.tv_sec : info.stx_ctime.tv_sec;
  return std::max(modified, created);
}

std::string FormatLocalTime(int64_t seconds, const char* format) {
  const time_t when = static_cast<time_t>(seconds);
  struct tm local {};
  if (!localtime_r(&when, &local)) return {};
  char text[128];
  const size_t length = strftime(text, sizeof(text), format, &local);
  return std::string(text, length);
}

}  // namespace platform
