#pragma once
// The launcher holds its texts and names in UTF-8; the system's wide functions take UTF-16.
// Every name crosses here, so a folder under a Korean or Japanese user name stays intact.
#include <windows.h>

// The system's headers make these names macros for their wide functions; the launcher's own
// functions of the same names (platform::ReplaceFile...) must keep theirs.
#undef GetFileAttributes
#undef SetFileAttributes
#undef ReplaceFile
#undef GetProfileString
#undef WriteProfileString

#include <string>
#include <string_view>

namespace platform {

std::wstring Widen(std::string_view text);
std::string Narrow(std::wstring_view text);
// A path for the wide functions: "/" becomes "\", as some of them (the long-path prefix,
// the shell) take only "\".
std::wstring WidePath(std::string_view path);
// A path the system gave back, with "/" as the launcher's separator.
std::string NarrowPath(std::wstring_view path);
// One argument of a command line as the C runtime's parser reads it back: quoted when it holds a
// blank, a tab or a quote or is empty, with backslashes doubled only before a quote.
std::wstring QuotedArgument(const std::wstring& argument);

// Closes a handle when it goes; INVALID_HANDLE_VALUE and null are both "no handle".
class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE handle = nullptr) : handle_(handle) {}
  ~ScopedHandle() { Reset(); }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  bool Valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return handle_; }
  void Reset(HANDLE handle = nullptr) {
    if (Valid()) CloseHandle(handle_);
    handle_ = handle;
  }
  HANDLE Release() {
    HANDLE handle = handle_;
    handle_ = nullptr;
    return handle;
  }

 private:
  HANDLE handle_;
};

// 100-ns file times as the system keeps them.
inline uint64_t FileTimeValue(const FILETIME& time) {
  return (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

}  // namespace platform
