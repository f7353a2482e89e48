#pragma once
// File times and local-time formatting, in seconds since the epoch.

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// The later of the file's modification time and its creation time. The creation time is the
// birth time where the file system records one, else the time of the last status change.
// None when the file cannot be examined.
std::optional<int64_t> LatestFileTime(const std::string& path);

// `seconds` as local time in strftime's `format`; empty when it cannot be converted.
std::string FormatLocalTime(int64_t seconds, const char* format);

}  // namespace platform
