#include "platform/FileAttributes.h"

#include <ctime>

namespace platform {

namespace {
constexpr uint64_t kUnixEpochAsFileTime = 116444736000000000ULL;  // 1970-01-01 in 100-ns since 1601
constexpr uint64_t kTicksPerSecond = 10000000ULL;
}  // namespace

timespec FileTimeToTimespec(uint64_t fileTime) {
  timespec result{};
  if (fileTime >= kUnixEpochAsFileTime) {
    uint64_t sinceEpoch = fileTime - kUnixEpochAsFileTime;
    result.tv_sec = static_cast<std::time_t>(sinceEpoch / kTicksPerSecond);
    result.tv_nsec = static_cast<long>(sinceEpoch % kTicksPerSecond) * 100;
  } else {
    // Before 1970: round the seconds down so that the nanoseconds stay non-negative.
    uint64_t beforeEpoch = kUnixEpochAsFileTime - fileTime;
    uint64_t seconds = (beforeEpoch + kTicksPerSecond - 1) / kTicksPerSecond;
    uint64_t remainder = seconds * kTicksPerSecond - beforeEpoch;
    result.tv_sec = -static_cast<std::time_t>(seconds);
    result.tv_nsec = static_cast<long>(remainder) * 100;
  }
  return result;
}

uint64_t UnixToFileTime(int64_t seconds, uint32_t nanoseconds) {
  constexpr int64_t kEarliestSeconds = -static_cast<int64_t>(kUnixEpochAsFileTime / kTicksPerSecond);
  if (seconds < kEarliestSeconds) return 0;
  uint64_t ticks = nanoseconds / 100;
  if (seconds >= 0)
    return kUnixEpochAsFileTime + static_cast<uint64_t>(seconds) * kTicksPerSecond + ticks;
  return kUnixEpochAsFileTime - static_cast<uint64_t>(-seconds) * kTicksPerSecond + ticks;
}

}  // namespace platform
