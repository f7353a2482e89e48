#pragma once
// Windows file attributes and file times on the local file system. Archives and patch steps speak
// in Win32 attribute bits and 100-ns file times; here they become permission bits, an extended
// attribute and nanosecond timestamps.

#include <cstdint>
#include <time.h>  // timespec
#include <optional>
#include <string>

namespace platform {

inline constexpr uint32_t kAttributeReadOnly = 0x01;
inline constexpr uint32_t kAttributeHidden = 0x02;
inline constexpr uint32_t kAttributeSystem = 0x04;
inline constexpr uint32_t kAttributeDirectory = 0x10;
inline constexpr uint32_t kAttributeArchive = 0x20;
inline constexpr uint32_t kAttributeNormal = 0x80;

// Read-only clears every write permission bit; without it the owner may write again. Hidden,
// system and archive are kept in the extended attribute "user.DOSATTRIB" as the text "0x" and
// hex digits (the form that Samba and Wine read); where the file system has no user extended
// attributes they are dropped silently. The directory and normal bits change nothing.
// False when the file does not exist or its permissions cannot be changed.
bool SetFileAttributes(const std::string& path, uint32_t attributes);

// The attribute bits of an existing file or directory: directory, read-only (the owner may not
// write), and hidden, system and archive from "user.DOSATTRIB"; normal (0x80) when none is set.
// Empty when the path does not exist.
std::optional<uint32_t> GetFileAttributes(const std::string& path);

// Sets the last access and last write times, given as 100-ns Windows file times (since
// 1601-01-01 UTC); a time of 0 leaves that time unchanged. Symbolic links are followed.
bool SetFileTimes(const std::string& path, uint64_t accessTime, uint64_t writeTime);

// 100-ns file time to a Unix timespec with nanosecond precision (negative before 1970).
timespec FileTimeToTimespec(uint64_t fileTime);

// Unix seconds (and nanoseconds) to a 100-ns file time; times before 1601 give 0.
uint64_t UnixToFileTime(int64_t seconds, uint32_t nanoseconds = 0);

}  // namespace platform
