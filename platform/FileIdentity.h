#pragma once
// What tells one state of a file from another without reading it: its size, its modification
// and status-change times in nanoseconds, and where it lives (device and inode).

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

struct FileIdentity {
  int64_t size = 0;
  int64_t modifiedNs = 0;
  int64_t changedNs = 0;  // the status-change time, which no program can set back
  uint64_t device = 0;
  uint64_t inode = 0;

  bool operator==(const FileIdentity&) const = default;
};

// The identity of the file or folder at `path` (links followed); none when it cannot be examined.
std::optional<FileIdentity> IdentityOf(const std::string& path);

// The wall clock in nanoseconds since the epoch, the clock file times are taken from.
int64_t WallClockNs();

}  // namespace platform
